# The fuzz targets and what each needs beyond its <target>_fuzz.cpp; shared by
# the fuzz programs (fuzz/) and their replay tests (tests/fuzz_regression/).
find_package(yaml-cpp REQUIRED)
find_package(urdfdom REQUIRED)

set(ORVO2_FUZZ_TARGETS config channel urdf_limits sdf_world)
set(ORVO2_FUZZ_urdf_limits_SOURCES ${CMAKE_SOURCE_DIR}/devices/joint_master/joint_command_limits.cpp)

function(orvo2_fuzz_target_setup executable target)
  target_link_libraries(${executable} PRIVATE orvo2 OrvoInterface yaml-cpp)
  if(target STREQUAL "config")
    target_link_libraries(${executable} PRIVATE orvocore_parts)
  elseif(target STREQUAL "urdf_limits")
    target_include_directories(${executable} PRIVATE ${CMAKE_SOURCE_DIR}/devices/joint_master)
    target_link_libraries(${executable} PRIVATE urdfdom::urdfdom_model)
  elseif(target STREQUAL "sdf_world")
    target_link_libraries(${executable} PRIVATE orvo2_sim)
  endif()
endfunction()
