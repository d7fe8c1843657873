# Sourced by the scripts that run a robot with the ROS bridge, which needs a
# ROS master. ensure_ros_master uses the one ROS_MASTER_URI names (default
# http://127.0.0.1:11311) when it answers; otherwise it starts a private
# rosmaster on a loopback port (the URI's port when its host is a loopback
# address, else 11311), which stop_ros_master stops.

ros_master_pid=""
ros_master_home=""

ros_master_online() {
  /usr/bin/python3 -c 'import sys, rosgraph; sys.exit(0 if rosgraph.is_master_online() else 1)' 2>/dev/null
}

stop_ros_master() {
  if [ -n "$ros_master_pid" ]; then
    kill -TERM "$ros_master_pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$ros_master_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$ros_master_pid" 2>/dev/null || true
    wait "$ros_master_pid" 2>/dev/null || true
    ros_master_pid=""
  fi
  if [ -n "$ros_master_home" ]; then
    rm -rf "$ros_master_home"
    ros_master_home=""
  fi
}

# ensure_ros_master NAME: NAME prefixes the messages.
ensure_ros_master() {
  local name="$1"
  export ROS_MASTER_URI="${ROS_MASTER_URI:-http://127.0.0.1:11311}"
  if ros_master_online; then
    echo "$name: using the ROS master at $ROS_MASTER_URI"
    return 0
  fi
  local host_port="${ROS_MASTER_URI#*://}"
  host_port="${host_port%%/*}"
  local port="${host_port##*:}"
  case "${host_port%:*}" in
    127.*|localhost) ;;
    *) port=11311 ;;
  esac
  [[ "$port" =~ ^[0-9]+$ ]] || port=11311
  export ROS_MASTER_URI="http://127.0.0.1:$port"
  export ROS_HOSTNAME="${ROS_HOSTNAME:-127.0.0.1}"
  ros_master_home="$(mktemp -d -t orvo2_rosmaster.XXXXXX)"
  # A session of its own: Ctrl-C reaches orvocore, which stops first.
  ROS_HOME="$ros_master_home" setsid /usr/bin/rosmaster --core -p "$port" >"$ros_master_home/rosmaster.log" 2>&1 &
  ros_master_pid=$!
  for _ in $(seq 200); do
    ros_master_online && break
    if ! kill -0 "$ros_master_pid" 2>/dev/null; then
      echo "$name: the private rosmaster on port $port did not start:" >&2
      cat "$ros_master_home/rosmaster.log" >&2
      return 1
    fi
    sleep 0.1
  done
  if ! ros_master_online; then
    echo "$name: the private rosmaster on port $port did not answer within 20 s" >&2
    return 1
  fi
  echo "$name: started a private ROS master at $ROS_MASTER_URI (pid $ros_master_pid), stopped with orvocore"
}
