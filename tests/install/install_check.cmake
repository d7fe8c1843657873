# Installs into a temporary prefix, builds the example control plug-in against
# it in a folder of its own (without the simulator's packages), and runs the
# installed orvocore with it on dummy joints behind the joint master until the
# plug-in has moved its joint: every library must come from the prefix (or
# the plug-in's own folder), none from the build tree.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build
  -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_DISABLE_FIND_PACKAGE_sdformat12=ON -DCMAKE_DISABLE_FIND_PACKAGE_ignition-math6=ON
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the outside plug-in failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the outside plug-in failed: ${rc}")
endif()

file(WRITE ${WORK_DIR}/config.yaml "robot:
  urdf: ${EXAMPLES_DIR}/dummy_robot/dummy_arm.urdf
joints:
  joint_dummy:
    - {name: shoulder_yaw, id: 1}
    - {name: shoulder_pitch, id: 2}
devices:
  joint_master:
    - {name: all_joints, id: 100}
threads:
  hal_thread:
    period: 1ms
    devices: [joint_dummy, joint_master]
  ctrl_thread:
    period: 1ms
    tasks:
      reach_task:
        plugin: reach
        params:
          joint: {type: string, value: shoulder_pitch}
          target: {type: double, value: 0.2}
          autostart: {type: bool, value: true}
")
# Runs orvocore until the plug-in has moved its joint (10 s at most), keeps the libraries it
# has mapped, then stops it with SIGINT.
set(run_until_running [=[
  env -u LD_LIBRARY_PATH ORVO2_PLUGIN_PATH="$3" "$1/bin/orvocore" --config "$2" >"$4" 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    grep -q "reach 'reach_task': joint 'shoulder_pitch' at 0.2 rad" "$4" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  awk '$6 ~ /\.so/ { print $6 }' "/proc/$pid/maps" 2>/dev/null | sort -u >"$5"
  kill -INT "$pid" 2>/dev/null
  wait "$pid"
]=])
execute_process(COMMAND bash -c "${run_until_running}" run ${prefix} ${WORK_DIR}/config.yaml
  ${WORK_DIR}/build ${WORK_DIR}/orvocore.log ${WORK_DIR}/orvocore.maps RESULT_VARIABLE rc)
file(READ ${WORK_DIR}/orvocore.log log)
if(NOT rc EQUAL 0 OR NOT log MATCHES "started running" OR
   NOT log MATCHES "reach 'reach_task': joint 'shoulder_pitch' at 0.2 rad")
  message(FATAL_ERROR "the installed orvocore did not run the outside plug-in to its target (status ${rc}):\n${log}")
endif()
file(STRINGS ${WORK_DIR}/orvocore.maps maps)
foreach(library liborvo2.so libOrvoInterface.so liborvodev_joint_dummy.so liborvodev_joint_master.so
        libRobotInterfaceOrvo2Rt.so)
  if(NOT maps MATCHES "${prefix}/${LIB_DIR}/${library}")
    string(REPLACE ";" "\n" listed "${maps}")
    message(FATAL_ERROR "${library} was not loaded from ${prefix}:\n${listed}")
  endif()
endforeach()
foreach(line IN LISTS maps)
  if(line MATCHES "${BUILD_DIR}/lib/")
    message(FATAL_ERROR "the installed orvocore loaded a library of the build tree: ${line}")
  endif()
endforeach()
