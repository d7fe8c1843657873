#!/usr/bin/python3
"""The example robot under ROS command floods while its standard output is
read at 200 kB/s: runs orvocore on examples/dummy_robot (1 ms hardware and
control threads under SCHED_FIFO, the bridge at 10 ms) with a private
rosmaster on a free loopback port, reads orvocore's output through a pipe at
--rate bytes per second, starts ros_control, and floods /orvocore/command
from rospy peers (separate processes, each publishing one pre-serialised
message as fast as TCP takes it), one phase after the other:

    idle          no peer
    unknown_name  one peer, one unknown joint name per message
    claims_200k   one peer, 200,000 unknown names per message (just under 1 MiB)
    valid_1024    three peers, 1024 entries for elbow_pitch (position 0, mode 1)
    unknown_960   three peers, 1024 unknown names of 960 characters
    all           the six peers of the four floods together

Every ctrl_thread and hal_thread period in /orvocore/statistics is kept per
phase; prints one Markdown row per phase (samples, median, p99 and max of the
period, and the largest time a cycle took, its total_time), the
output orvocore wrote, the journal's "N lines dropped" total, and whether
orvocore still ran and stopped with status 0 on SIGINT.

    /usr/bin/python3 bench/scripts/slow_output_floods.py [--build build] [--seconds 10] [--rate 200000]
        [--phases idle unknown_name ...]

rosmaster and orvocore are stopped by their pids; every wait is bounded.
"""

import argparse
import io
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import warnings

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
THREADS = ("ctrl_thread", "hal_thread")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def stop(process, sig, timeout=10):
    if process is None or process.poll() is not None:
        return process.returncode if process else None
    process.send_signal(sig)
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return None


class SlowReader(threading.Thread):
    """Reads a pipe at most `rate` bytes per second; counts the lines dropped."""

    def __init__(self, pipe, rate, log):
        super().__init__(daemon=True)
        self.pipe, self.rate, self.log = pipe, rate, log
        self.bytes = 0
        self.dropped = 0
        self.tail = b""

    def run(self):
        start = time.monotonic()
        while True:
            chunk = os.read(self.pipe.fileno(), 4096)
            if not chunk:
                return
            self.bytes += len(chunk)
            self.log.write(chunk)
            text = self.tail + chunk
            self.dropped += sum(int(n) for n in re.findall(rb"\] (\d+) lines dropped", text))
            self.tail = text[text.rfind(b"\n") + 1:]
            ahead = self.bytes / self.rate - (time.monotonic() - start)
            if ahead > 0:
                time.sleep(ahead)


def message(kind):
    from orvo_msgs.msg import JointCommand
    command = JointCommand()
    if kind == "unknown_name":
        command.name = ["ghost"]
        command.ctrl_mode = [1]
        command.position = [0.0]
    elif kind == "claims_200k":
        command.name = ["x"] * 200000
    elif kind == "valid_1024":
        command.name = ["elbow_pitch"] * 1024
        command.ctrl_mode = [1] * 1024
        command.position = [0.0] * 1024
    elif kind == "unknown_960":
        command.name = [("n%04d" % i) + "y" * 955 for i in range(1024)]
    buffer = io.BytesIO()
    command.serialize(buffer)
    return buffer.getvalue()


def peer(kind, seconds):
    """One flooding peer: publishes the same serialised message for `seconds`."""
    import rospy
    from orvo_msgs.msg import JointCommand

    class Raw(JointCommand):
        __slots__ = ["_raw"]

        def serialize(self, buff):
            buff.write(self._raw)

    warnings.simplefilter("ignore")  # rospy's advice on queue_size: here every publish is sent at once
    raw = Raw()
    raw._raw = message(kind)
    rospy.init_node("flood_" + kind, anonymous=True, disable_signals=True)
    publisher = rospy.Publisher("/orvocore/command", JointCommand, queue_size=None, tcp_nodelay=True)
    deadline = time.monotonic() + 10
    while publisher.get_num_connections() == 0 and time.monotonic() < deadline:
        time.sleep(0.05)
    sent = 0
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        publisher.publish(raw)
        sent += 1
    print(f"{kind}: {sent} messages, {sent / seconds:.0f}/s, {len(raw._raw)} bytes each", file=sys.stderr)


def percentile(values, q):
    return values[min(len(values) - 1, int(q * len(values)))]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--rate", type=int, default=200000)
    parser.add_argument("--phases", nargs="*", help="only these phases (default: all)")
    parser.add_argument("--peer", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.peer:
        peer(args.peer, args.seconds)
        return

    build = os.path.abspath(args.build)
    work = tempfile.mkdtemp(prefix="orvo2_slow_output_")
    port = free_port()
    env = dict(os.environ, ROS_MASTER_URI=f"http://127.0.0.1:{port}", ROS_HOSTNAME="127.0.0.1",
               ROS_HOME=os.path.join(work, "ros_home"), ORVO2_PLUGIN_PATH=os.path.join(build, "lib"),
               PYTHONPATH=os.path.join(build, "ros", "python") + ":" + os.environ.get("PYTHONPATH", ""))
    os.environ.update(env)
    sys.path.insert(0, os.path.join(build, "ros", "python"))
    master = subprocess.Popen(["/usr/bin/rosmaster", "--core", "-p", str(port)], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    core = None
    peers = []
    try:
        time.sleep(1.5)
        core = subprocess.Popen([os.path.join(build, "bin", "orvocore"), "--config",
                                 os.path.join(ROOT, "examples", "dummy_robot", "config.yaml")],
                                env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        log = open(os.path.join(work, "orvocore.log"), "wb")
        reader = SlowReader(core.stdout, args.rate, log)
        reader.start()

        import rospy
        from orvo_msgs.msg import Statistics
        from std_srvs.srv import SetBool
        rospy.init_node("flood_monitor", anonymous=True, disable_signals=True)
        rospy.wait_for_service("/orvocore/ros_control/switch", timeout=30)
        reply = rospy.ServiceProxy("/orvocore/ros_control/switch", SetBool)(True)
        print(f"ros_control/switch: {reply.success} {reply.message}", file=sys.stderr)

        lock = threading.Lock()
        periods = {name: [] for name in THREADS}
        run_times = {name: [] for name in THREADS}

        def on_statistics(msg):
            with lock:
                for thread in msg.thread_stats:
                    if thread.name in periods:
                        periods[thread.name].append(thread.period)
                        run_times[thread.name].append(thread.total_time)

        rospy.Subscriber("/orvocore/statistics", Statistics, on_statistics, queue_size=1000)
        time.sleep(2)

        phases = [("idle", []), ("unknown_name", ["unknown_name"]), ("claims_200k", ["claims_200k"]),
                  ("valid_1024", ["valid_1024"] * 3), ("unknown_960", ["unknown_960"] * 3),
                  ("all", ["unknown_name", "claims_200k"] + ["valid_1024"] * 2 + ["unknown_960"] * 2)]
        rows = []
        for phase, kinds in [p for p in phases if not args.phases or p[0] in args.phases]:
            peers = [subprocess.Popen([sys.executable, __file__, "--peer", kind, "--seconds", str(args.seconds)],
                                      env=env) for kind in kinds]
            time.sleep(3)  # the peers connect
            with lock:
                for values in list(periods.values()) + list(run_times.values()):
                    values.clear()
            time.sleep(args.seconds - 3 if kinds else args.seconds)
            with lock:
                taken = {name: sorted(values) for name, values in periods.items()}
                busy = {name: max(values, default=0.0) for name, values in run_times.items()}
            for p in peers:
                p.wait(timeout=60)
            peers = []
            for name in THREADS:
                values = taken[name]
                if not values:
                    rows.append(f"| {phase} | {name} | 0 | | | | |")
                    continue
                rows.append(f"| {phase} | {name} | {len(values)} | {percentile(values, 0.5) * 1e3:.3f} | "
                            f"{percentile(values, 0.99) * 1e3:.3f} | {values[-1] * 1e3:.3f} | {busy[name] * 1e3:.3f} |")
            time.sleep(1)

        running = core.poll() is None
        print("| phase | thread | samples | median ms | p99 ms | max ms | max cycle time ms |")
        print("|---|---|---|---|---|---|---|")
        print("\n".join(rows))
        print(f"orvocore still running: {running}; output read: {reader.bytes} bytes; "
              f"lines dropped (notices read so far): {reader.dropped}")
        rospy.signal_shutdown("done")
        status = stop(core, signal.SIGINT, timeout=30)
        reader.join(timeout=120)
        print(f"orvocore exit status after SIGINT: {status}; output read in all: {reader.bytes} bytes; "
              f"lines dropped in all: {reader.dropped}; log: {log.name}")
    finally:
        for p in peers:
            stop(p, signal.SIGKILL)
        stop(core, signal.SIGKILL)
        stop(master, signal.SIGINT)


if __name__ == "__main__":
    main()
