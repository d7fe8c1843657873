#!/usr/bin/env python3
"""Worker cycle time and mallocs per cycle for 10, 100 and 1000 dummy joints
behind the joint master, with the ROS bridge running (or not, --bridge 0): build/bin/scaling_bench
once per joint count (one process each), repetitions of a 3 s window.

Prints a Markdown table (medians over the repetitions of each window's median
and 99th percentile, with their min-max) and the line fitted through the
medians: cycle time = a + b * joints.

    python3 bench/scripts/worker_scaling.py [--build build] [--repetitions 3] [--joints 10 100 1000]
        [--bridge 1]
"""

import argparse
import json
import math
import os
import statistics
import subprocess
import sys
import tempfile


def run(build, joints, bridge, repetitions, folder):
    out = os.path.join(folder, f"scaling_{joints}.json")
    command = [os.path.join(build, "bin", "scaling_bench"),
               f"--benchmark_filter=/joints:{joints}/window_ms:3000/bridge:{bridge}",
               f"--benchmark_repetitions={repetitions}", f"--benchmark_out={out}", "--benchmark_out_format=json"]
    print("    " + " ".join(command), file=sys.stderr)
    env = dict(os.environ, ORVO2_PLUGIN_PATH=os.path.abspath(os.path.join(build, "lib")))
    result = subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                            timeout=900)
    if result.returncode != 0:
        sys.exit(f"scaling_bench failed for {joints} joints ({result.returncode}):\n{result.stderr[-3000:]}")
    with open(out) as source:
        data = json.load(source)
    runs = [entry for entry in data["benchmarks"] if entry.get("run_type") == "iteration"]
    if not runs or any(entry.get("error_occurred") for entry in runs):
        sys.exit(f"scaling_bench for {joints} joints reported an error: {runs}")
    return data["context"], runs


THREADS = (("hal", "hardware, 1 ms"), ("bridge", "bridge, 10 ms"))


def spread(runs, key):
    values = [entry[key] for entry in runs]
    return statistics.median(values), min(values), max(values)


def fit_line(xs, ys):
    mean_x = sum(xs) / len(xs)
    mean_y = sum(ys) / len(ys)
    slope = sum((x - mean_x) * (y - mean_y) for x, y in zip(xs, ys)) / sum((x - mean_x) ** 2 for x in xs)
    return mean_y - slope * mean_x, slope


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--joints", type=int, nargs="+", default=[10, 100, 1000])
    parser.add_argument("--bridge", type=int, choices=(0, 1), default=1,
                        help="0: the hardware thread alone, without the bridge's thread")
    args = parser.parse_args()
    rows = {}
    with tempfile.TemporaryDirectory(prefix=f"orvo2_worker_scaling_{os.getpid()}_") as folder:
        for joints in args.joints:
            context, runs = run(args.build, joints, args.bridge, args.repetitions, folder)
            rows[joints] = runs
            print(f"{joints} joints: {context.get('date', '')}, load average {context.get('load_avg', '')}",
                  file=sys.stderr)
    print("| joints | thread | cycle median | cycle p99 | mallocs per cycle | cycles per window |")
    print("|---:|---|---:|---:|---:|---:|")
    for joints, runs in rows.items():
        for thread, label in THREADS[:1 + args.bridge]:
            med = spread(runs, f"{thread}_median_us")
            p99 = spread(runs, f"{thread}_p99_us")
            allocs = spread(runs, f"{thread}_allocs_per_cycle")
            cycles = spread(runs, f"{thread}_cycles")
            print(f"| {joints} | {label} | {med[0]:.1f} us ({med[1]:.1f}-{med[2]:.1f}) "
                  f"| {p99[0]:.1f} us ({p99[1]:.1f}-{p99[2]:.1f}) | {allocs[0]:.2f} ({allocs[1]:.2f}-{allocs[2]:.2f}) "
                  f"| {cycles[0]:.0f} |")
    if len(rows) > 1:
        xs = list(rows)
        for thread, _ in THREADS[:1 + args.bridge]:
            medians = [spread(rows[j], f"{thread}_median_us")[0] for j in xs]
            base, per_joint = fit_line(xs, medians)
            fitted = [base + per_joint * j for j in xs]
            worst = max(abs(f - m) / m for f, m in zip(fitted, medians))
            per_joint_each = ", ".join(f"{m / j * 1e3:.0f} ns at {j}" for j, m in zip(xs, medians))
            exponent = math.log(medians[-1] / medians[0]) / math.log(xs[-1] / xs[0])
            print(f"\n{thread}: cycle median = {base:.2f} us + {per_joint * 1e3:.1f} ns * joints "
                  f"(largest deviation of a point from the line: {worst * 100:.0f} %); per joint: {per_joint_each}; "
                  f"growth exponent {xs[0]} to {xs[-1]} joints: {exponent:.2f} (1 is linear)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
