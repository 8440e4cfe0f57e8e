#!/usr/bin/env python3
"""Compares two builds of qorvantel on the benchmark's workloads.

Runs the two programs alternately on the same requests (so that a busy
moment of the machine falls on both alike) and prints, per workload, the
median user and system CPU time of each and their ratio. Use it to show
that a change is no slower: build the commit before it and the commit
after it, then

    bench/compare.py --n 1000000 --repeat 5 before/qorvantel after/qorvantel
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run  # noqa: E402  (the benchmark's data and workloads)


def cpu_times(program, request, output):
    """Runs program on the request; returns (user, system) seconds."""
    with open(request, "rb") as stdin, open(output, "wb") as stdout:
        child = subprocess.Popen([program], stdin=stdin, stdout=stdout, stderr=subprocess.STDOUT)
        _, status, usage = os.wait4(child.pid, 0)
    if status != 0:
        raise RuntimeError(f"{program} failed on {request} (status {status})")
    return usage.ru_utime, usage.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--n", type=int, default=1000000, help="rows in each of R and S (default 1000000)")
    parser.add_argument("--repeat", type=int, default=5, help="runs of each program per workload (default 5)")
    parser.add_argument("--workloads", default=",".join(sorted(run.WORKLOADS)),
                        help="comma-separated subset of the workloads (default all)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("before", help="the program before the change")
    parser.add_argument("after", help="the program after the change")
    args = parser.parse_args()
    workloads = [w.strip() for w in args.workloads.split(",") if w.strip()]

    with tempfile.TemporaryDirectory(prefix="qv-compare-") as directory:
        cases = run.prepare(directory, args.n, args.seed, workloads)
        print(f"N = {args.n}, {args.repeat} alternating runs each, medians of CPU seconds")
        print(f"{'workload':8} {'before user':>11} {'sys':>6} {'after user':>10} {'sys':>6} {'ratio':>6}")
        ratios = []
        for workload in workloads:
            case = cases[workload]
            times = {"before": [], "after": []}
            outputs = {}
            for _ in range(args.repeat):
                for side in ("before", "after"):
                    outputs[side] = os.path.join(directory, f"{workload}.{side}.out")
                    times[side].append(cpu_times(getattr(args, side), case["request"], outputs[side]))
            with open(outputs["before"], "rb") as a, open(outputs["after"], "rb") as b:
                if a.read() != b.read():
                    raise RuntimeError(f"{workload}: the two programs wrote different output")
            median = {side: (statistics.median(u for u, _ in runs), statistics.median(s for _, s in runs))
                      for side, runs in times.items()}
            ratio = sum(median["after"]) / max(sum(median["before"]), 1e-9)
            ratios.append(ratio)
            print(f"{workload:8} {median['before'][0]:11.3f} {median['before'][1]:6.3f} "
                  f"{median['after'][0]:10.3f} {median['after'][1]:6.3f} {ratio:6.3f}")
        print(f"geometric mean of after/before (user + system): {run.geometric_mean(ratios):.3f}")


if __name__ == "__main__":
    main()
