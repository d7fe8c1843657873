#!/usr/bin/env bash
# Latency from a ROS joint command to its echo in the joint states: runs
# orvocore on the dummy arm of examples/dummy_robot (six dummy joints behind
# the joint master in a 1 ms thread, ros_control in a 1 ms thread, the bridge
# ros_io in a thread of period BRIDGE_PERIOD) with a private rosmaster on a
# free loopback port, and measures with build/bin/command_latency (a roscpp
# publisher of orvo_msgs/JointCommand and a subscriber of joint_states).
# The joint master's command filter stays off (the example turns it on), so
# that the echo is the commanded value itself.
#
#   bench/scripts/command_latency.sh [BUILD] [SAMPLES] [BRIDGE_PERIOD]
#   (defaults: build 500 10ms)
#
# orvocore and rosmaster are stopped by their pids; every wait is bounded.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build}"
samples="${2:-500}"
bridge_period="${3:-10ms}"

work="$(mktemp -d -t "orvo2_command_latency_$$.XXXXXX")"
port="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
export ROS_MASTER_URI="http://127.0.0.1:$port" ROS_HOSTNAME=127.0.0.1 ROS_HOME="$work/ros_home"
export ORVO2_PLUGIN_PATH="$PWD/$build/lib"

master_pid=""
core_pid=""
client_pid=""
stop_pid() {  # pid, signal: the signal, 10 s, then SIGKILL
  local pid="$1"
  [ -n "$pid" ] || return 0
  kill "-$2" "$pid" 2>/dev/null || true
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  stop_pid "$client_pid" INT
  stop_pid "$core_pid" INT
  stop_pid "$master_pid" TERM
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 130" INT TERM

cp examples/dummy_robot/dummy_arm.urdf examples/dummy_robot/dummy_arm.srdf "$work/"
cat >"$work/config.yaml" <<EOF
robot:
  urdf: dummy_arm.urdf
  srdf: dummy_arm.srdf
joints:
  joint_dummy:
    - {name: shoulder_yaw, id: 1}
    - {name: shoulder_pitch, id: 2}
    - {name: elbow_pitch, id: 3}
    - {name: wrist_roll, id: 4}
    - {name: wrist_pitch, id: 5}
    - {name: wrist_yaw, id: 6}
devices:
  joint_master:
    - {name: all_joints, id: 100}
threads:
  hal_thread:
    period: 1ms
    policy: SCHED_FIFO
    priority: 60
    devices: [joint_dummy, joint_master]
  ros_thread:
    period: $bridge_period
    tasks:
      ros_io:
        plugin: ros_io
  ctrl_thread:
    period: 1ms
    policy: SCHED_FIFO
    priority: 50
    tasks:
      ros_control:
        plugin: ros_control
EOF

/usr/bin/rosmaster --core -p "$port" >"$work/rosmaster.log" 2>&1 &
master_pid=$!
for _ in $(seq 200); do
  /usr/bin/python3 -c 'import sys, rosgraph; sys.exit(0 if rosgraph.is_master_online() else 1)' 2>/dev/null && break
  sleep 0.1
done

"$build/bin/orvocore" ${ORVOCORE_ARGS:-} --config "$work/config.yaml" >"$work/orvocore.log" 2>&1 &
core_pid=$!

echo "command_latency: bridge period $bridge_period, $samples samples, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bin/command_latency" "$samples" shoulder_yaw >"$work/client.log" 2>&1 &
client_pid=$!
status=0
wait "$client_pid" || status=$?
client_pid=""
if [ "$status" -ne 0 ] || ! grep -o 'samples [0-9].*' "$work/client.log"; then
  echo "command_latency: failed ($status); its output and orvocore's:" >&2
  tail -5 "$work/client.log" >&2
  tail -"${LOG_LINES:-20}" "$work/orvocore.log" >&2
  exit 1
fi
