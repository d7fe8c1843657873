# Finds the ROS 1 C++ client library as Debian ships it (headers in /usr/include,
# libraries described by pkg-config files; no catkin).
#
# Defines:
#   Roscpp_FOUND, Roscpp_VERSION
#   orvo2::roscpp   INTERFACE target: roscpp, its serialization, time, console and
#                   common libraries and the std_msgs headers, with their include paths.

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(PC_ROSCPP QUIET IMPORTED_TARGET GLOBAL
    roscpp roscpp_serialization rostime cpp_common rosconsole std_msgs)
endif()

find_path(Roscpp_INCLUDE_DIR NAMES ros/ros.h HINTS ${PC_ROSCPP_INCLUDE_DIRS})
find_path(Roscpp_STD_MSGS_INCLUDE_DIR NAMES std_msgs/Header.h HINTS ${PC_ROSCPP_INCLUDE_DIRS})
set(Roscpp_VERSION ${PC_ROSCPP_roscpp_VERSION})

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Roscpp
  REQUIRED_VARS Roscpp_INCLUDE_DIR Roscpp_STD_MSGS_INCLUDE_DIR PC_ROSCPP_FOUND
  VERSION_VAR Roscpp_VERSION)
mark_as_advanced(Roscpp_INCLUDE_DIR Roscpp_STD_MSGS_INCLUDE_DIR)

if(Roscpp_FOUND AND NOT TARGET orvo2::roscpp)
  add_library(orvo2::roscpp INTERFACE IMPORTED GLOBAL)
  target_include_directories(orvo2::roscpp INTERFACE
    ${Roscpp_INCLUDE_DIR} ${Roscpp_STD_MSGS_INCLUDE_DIR})
  target_link_libraries(orvo2::roscpp INTERFACE PkgConfig::PC_ROSCPP)
endif()
