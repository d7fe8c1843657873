#!/usr/bin/env python3
"""Runs build/bin/comparison_bench once (every comparison side by side in one
run, with repetitions) and prints Markdown tables: each benchmark's median
wall time per operation with its min-max over the repetitions, and the ratios
of the medians (how many times faster the framework's path is).

    python3 bench/scripts/report_comparisons.py [--build build] [--repetitions 5] [--min-time 0.5]
        [--json FILE]   (read an earlier run's output instead of running)
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

UNIT_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}

# (label, numerator benchmark, denominator benchmark, factor on the numerator)
RATIOS = [
    ("44-byte record: roscpp intra-process / framework topic", "BM_Record44_RoscppIntraProcess",
     "BM_Loaned_OneThread", 1.0),
    ("44-byte record: roscpp loopback TCP one way (round trip / 2) / framework topic",
     "BM_Record44_RoscppTcpRoundTrip", "BM_Loaned_OneThread", 0.5),
    ("30-joint JointState: roscpp intra-process / framework topic", "BM_JointState30_RoscppIntraProcess",
     "BM_JointState30_OrvoLoaned", 1.0),
    ("30-joint JointState: roscpp loopback TCP one way (round trip / 2) / framework topic",
     "BM_JointState30_RoscppTcpRoundTrip", "BM_JointState30_OrvoLoaned", 0.5),
    ("30 joint records, round trip to another process: ROS topics / device channel",
     "BM_Records30_RoscppTcpRoundTrip", "BM_Records30_DeviceChannelRoundTrip", 1.0),
    ("service call: roscpp persistent / framework", "BM_Service_RoscppPersistent", "BM_Service_OrvoOtherThread",
     1.0),
    ("service call: roscpp new connection / framework", "BM_Service_RoscppNewConnection",
     "BM_Service_OrvoOtherThread", 1.0),
]


def run(build, repetitions, min_time, out):
    command = [os.path.join(build, "bin", "comparison_bench"), f"--benchmark_repetitions={repetitions}",
               f"--benchmark_min_time={min_time}", f"--benchmark_out={out}", "--benchmark_out_format=json"]
    print("    " + " ".join(command), file=sys.stderr)
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, timeout=1800)
    if result.returncode != 0:
        sys.exit(f"comparison_bench failed ({result.returncode}):\n{result.stderr}")


def collect(path):
    with open(path) as source:
        data = json.load(source)
    runs = {}
    counters = {}
    for entry in data["benchmarks"]:
        if entry.get("run_type") != "iteration" or entry.get("error_occurred"):
            continue
        name = entry["run_name"].split("/")[0]
        runs.setdefault(name, []).append(entry["real_time"] * UNIT_NS[entry["time_unit"]])
        for key in ("allocs_per_msg", "pub_allocs_per_msg", "allocs_per_call"):
            if key in entry:
                counters.setdefault(name, []).append(entry[key])
    return data["context"], runs, counters


def show(ns):
    return f"{ns / 1e3:.1f} us" if ns >= 1e4 else f"{ns:.0f} ns"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--min-time", default="0.5")
    parser.add_argument("--json")
    args = parser.parse_args()
    if args.json:
        context, runs, counters = collect(args.json)
    else:
        with tempfile.TemporaryDirectory(prefix=f"orvo2_comparison_{os.getpid()}_") as folder:
            path = os.path.join(folder, "comparison.json")
            run(args.build, args.repetitions, args.min_time, path)
            context, runs, counters = collect(path)
    print(f"{context.get('date', '')}, load average {context.get('load_avg', '')}\n")
    print("| benchmark | median | min-max | mallocs per operation |")
    print("|---|---:|---:|---:|")
    for name, values in runs.items():
        allocs = statistics.median(counters[name]) if name in counters else float("nan")
        print(f"| `{name}` | {show(statistics.median(values))} | {show(min(values))}-{show(max(values))} "
              f"| {allocs:.2f} |")
    print("\n| comparison | ratio of medians | range (worst-best pairing) |")
    print("|---|---:|---:|")
    for label, slow, fast, factor in RATIOS:
        if slow not in runs or fast not in runs:
            print(f"| {label} | missing | |")
            continue
        ratio = factor * statistics.median(runs[slow]) / statistics.median(runs[fast])
        low = factor * min(runs[slow]) / max(runs[fast])
        high = factor * max(runs[slow]) / min(runs[fast])
        print(f"| {label} | {ratio:.1f}x | {low:.1f}-{high:.1f}x |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
