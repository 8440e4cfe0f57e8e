#!/usr/bin/env python3
"""The Python module against the console on workload W1 of bench/run.py
(the whole relation R of N rows, 1,000,000 by default), and to_pandas().

Both are run as whole processes, alternately, --repeat times, on the same
batch request: the console as `qorvantel REQUEST OUT` (read, evaluate,
write the echo and the result), the module as a Python process that reads
the same file, loads the environment (Environment.from_text), evaluates the
expression and writes the echo and bytes() of the result. The outputs must be
equal byte for byte; wall time and CPU time (user and system apart) are
shown. Then, in one process, the time of each step and of
to_pandas() on the result. Prints medians in seconds.

Usage: python_bench.py PROGRAM [--rows N] [--repeat K] [--python PYTHON]
(PYTHONPATH, or the venv's python, must reach the package qorvantel).
"""
import argparse
import filecmp
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run  # noqa: E402

CHILD = r'''
import sys, qorvantel
with open(sys.argv[1], 'rb') as f:
    request = f.read()
expression, _, environment = request.partition(b'\n')
result = qorvantel.Environment.from_text(environment).evaluate(expression)
with open(sys.argv[2], 'wb') as out:
    out.write(request)
    out.write(bytes(result))
'''

STEPS = r'''
import sys, time, qorvantel
with open(sys.argv[1], 'rb') as f:
    request = f.read()
expression, _, environment = request.partition(b'\n')
t0 = time.perf_counter(); env = qorvantel.Environment.from_text(environment)
t1 = time.perf_counter(); result = env.evaluate(expression)
t2 = time.perf_counter(); text = str(result)
t3 = time.perf_counter(); rows = result.rows
t4 = time.perf_counter(); frame = result.to_pandas()
t5 = time.perf_counter()
assert len(frame) == len(result) == len(rows)
print(f'{t1 - t0:.3f} {t2 - t1:.3f} {t3 - t2:.3f} {t4 - t3:.3f} {t5 - t4:.3f}')
'''


def timed(args):
    """(wall, user, system) seconds of one process."""
    start = time.perf_counter()
    child = subprocess.Popen(args)
    _, status, usage = os.wait4(child.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f'{args[0]} failed')
    return time.perf_counter() - start, usage.ru_utime, usage.ru_stime


def medians(runs):
    return [statistics.median(run[i] for run in runs) for i in range(3)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('program')
    parser.add_argument('--rows', type=int, default=1000000)
    parser.add_argument('--repeat', type=int, default=5)
    parser.add_argument('--python', default=sys.executable)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        case = run.prepare(work, args.rows, 1, ['W1'])['W1']
        request = case['request']
        console_out, python_out = os.path.join(work, 'console.out'), os.path.join(work, 'python.out')
        console, python = [], []
        for _ in range(args.repeat):
            console.append(timed([os.path.abspath(args.program), request, console_out]))
            python.append(timed([args.python, '-c', CHILD, request, python_out]))
        if not filecmp.cmp(console_out, python_out, shallow=False):
            raise SystemExit('the outputs differ')
        steps = [list(map(float, subprocess.run([args.python, '-c', STEPS, request], check=True, capture_output=True,
                                                text=True).stdout.split())) for _ in range(args.repeat)]
    (c, cu, cs), (p, pu, ps) = medians(console), medians(python)
    print(f'W1, {args.rows} rows, median of {args.repeat}: console {c:.3f} s, Python {p:.3f} s '
          f'({(p / c - 1) * 100:+.1f} %); CPU user + system: console {cu:.3f} + {cs:.3f} s, '
          f'Python {pu:.3f} + {ps:.3f} s ({((pu + ps) / (cu + cs) - 1) * 100:+.1f} %)')
    names = ['from_text', 'evaluate', 'str()', '.rows', 'to_pandas()']
    print('in one Python process: ' + ', '.join(f'{n} {statistics.median(s[i] for s in steps):.3f} s'
                                               for i, n in enumerate(names)))


if __name__ == '__main__':
    main()
