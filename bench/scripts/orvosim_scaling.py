#!/usr/bin/env python3
"""Steps per second of orvosim for generated chains of 1, 10 and 50 revolute
joints, bare and with the joint server plug-in (which serves every joint on
the device channel "joint_gz" and applies a PD torque each step).

Start-up is taken out: each repetition times `orvosim --fast --quiet` for a
short and a long run, and the steady rate is the difference of the steps over
the difference of the times. Prints a Markdown table (median and min-max over
the repetitions) and the line fitted through the medians: time per step =
a + b * joints.

    python3 bench/scripts/orvosim_scaling.py [--build build] [--repetitions 5]

Note: orvosim always sends the clock on "/gz_to_orvo2_time", and the joint
server opens the fixed channel "joint_gz"; do not run this while tests that
use them run on the same machine.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

JOINT_COUNTS = (1, 10, 50)
SHORT_STEPS = 1
LONG_STEPS = 500000


def chain_sdf(joints, with_server):
    links = ['      <link name="link0"><inertial><mass>4</mass></inertial></link>']
    elements = ['      <joint name="base_fixed" type="fixed"><parent>world</parent><child>link0</child></joint>']
    for i in range(1, joints + 1):
        links.append(
            f'      <link name="link{i}"><pose>0 0 {0.1 * i:.2f} 0 0 0</pose>'
            '<inertial><pose>0 0 0.05 0 0 0</pose><mass>1.0</mass>'
            '<inertia><ixx>0.01</ixx><iyy>0.01</iyy><izz>0.005</izz></inertia></inertial></link>')
        axis = "0 0 1" if i % 2 else "0 1 0"
        elements.append(
            f'      <joint name="joint{i}" type="revolute"><parent>link{i - 1}</parent><child>link{i}</child>'
            f'<axis><xyz>{axis}</xyz><limit><lower>-3</lower><upper>3</upper><effort>200</effort></limit>'
            '<dynamics><damping>0.5</damping><friction>0.05</friction></dynamics></axis></joint>')
    if with_server:
        elements.append('      <plugin name="joint_server" filename="liborvo2_gz_joint_server.so"/>')
    body = "\n".join(links + elements)
    return ('<?xml version="1.0"?>\n<sdf version="1.7">\n  <world name="scaling_world">\n'
            '    <physics name="default" type="ode"><max_step_size>0.001</max_step_size></physics>\n'
            f'    <model name="chain_{joints}">\n{body}\n    </model>\n  </world>\n</sdf>\n')


def timed_run(orvosim, sdf, steps, env):
    start = time.monotonic()
    subprocess.run([orvosim, "--fast", "--quiet", "--steps", str(steps), sdf], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    return time.monotonic() - start


def fit_line(xs, ys):
    mean_x = sum(xs) / len(xs)
    mean_y = sum(ys) / len(ys)
    slope = sum((x - mean_x) * (y - mean_y) for x, y in zip(xs, ys)) / sum((x - mean_x) ** 2 for x in xs)
    return mean_y - slope * mean_x, slope


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()
    orvosim = os.path.join(args.build, "bin", "orvosim")
    env = dict(os.environ, ORVO2_PLUGIN_PATH=os.path.abspath(os.path.join(args.build, "lib")))

    print(f"orvosim --fast --quiet: ({LONG_STEPS} - {SHORT_STEPS}) steps / (time of the long run - time of "
          f"the short run), {args.repetitions} repetitions\n")
    print("| model | joints | steps per second (median) | min-max | us per step | real-time factor at 1 ms |")
    print("|---|---:|---:|---:|---:|---:|")
    with tempfile.TemporaryDirectory(prefix=f"orvo2_scaling_{os.getpid()}_") as folder:
        for with_server in (False, True):
            label = "chain + joint server" if with_server else "bare chain"
            medians_us = []
            for joints in JOINT_COUNTS:
                sdf = os.path.join(folder, f"chain_{joints}_{int(with_server)}.sdf")
                with open(sdf, "w") as out:
                    out.write(chain_sdf(joints, with_server))
                rates = []
                for _ in range(args.repetitions):
                    short = timed_run(orvosim, sdf, SHORT_STEPS, env)
                    long = timed_run(orvosim, sdf, LONG_STEPS, env)
                    rates.append((LONG_STEPS - SHORT_STEPS) / max(long - short, 1e-6))
                median = statistics.median(rates)
                medians_us.append(1e6 / median)
                print(f"| {label} | {joints} | {median / 1e3:.0f} k | {min(rates) / 1e3:.0f}-{max(rates) / 1e3:.0f} k "
                      f"| {1e6 / median:.2f} | {median / 1e3:.0f} |")
            base, per_joint = fit_line(JOINT_COUNTS, medians_us)
            worst = max(abs(base + per_joint * j - m) / m for j, m in zip(JOINT_COUNTS, medians_us))
            print(f"| {label}: line through the medians | | | | {base:.2f} + {per_joint:.3f} * joints "
                  f"(largest deviation {worst * 100:.0f} %) | |")
            sys.stdout.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
