#!/usr/bin/env python3
"""Times qorvantel-convert's from-csv and to-csv against qorvantel reading
the same relation from an environment file.

One relation of N rows (default 1,000,000) and four columns (two int, two
char) is written both as CSV and as environment text. Each command runs as
a whole process, --repeat times, and the median wall time is reported:

  load      qorvantel ENV < /dev/null   (reads the environment, then ends)
  load+show qorvantel ENV with one empty console line, which writes the
            whole environment: reading, sorting into row order, writing
  from-csv  qorvantel-convert from-csv R.csv > /dev/null
  to-csv    qorvantel-convert to-csv ENV DIR

Times are CPU seconds (user and system), medians. from-csv is compared
with load; to-csv, which must also sort the rows into row order (the
interpreter sorts a table the first time it is used, not while loading),
with both. The target is a ratio of at most 1.5. from-csv's output is
checked to be the expected relation.

Usage: python3 bench/convert_bench.py [--n N] [--repeat K] [--build DIR]
"""
import argparse
import os
import random
import resource
import statistics
import subprocess
import sys
import tempfile


def timed(command, repeat, **kw):
    """Median CPU time (user and system) of the command as a process: on a
    shared machine the wall time mostly measures the neighbours."""
    times = []
    for _ in range(repeat):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(command, check=True, **kw)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        times.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--n', type=int, default=1000000)
    parser.add_argument('--repeat', type=int, default=3)
    parser.add_argument('--build', default='build')
    parser.add_argument('--seed', type=int, default=7)
    args = parser.parse_args()
    qorvantel = os.path.abspath(os.path.join(args.build, 'qorvantel'))
    convert = os.path.abspath(os.path.join(args.build, 'qorvantel-convert'))
    rng = random.Random(args.seed)
    words = ['alpha', 'beta', 'gamma', 'delta', 'epsilon', 'zeta', 'eta', 'theta']
    with tempfile.TemporaryDirectory() as directory:
        csv_path = os.path.join(directory, 'R.csv')
        env_path = os.path.join(directory, 'R.env')
        rows = [(i, rng.randrange(-1000000, 1000000), rng.choice(words) + str(rng.randrange(1000)),
                 rng.choice(words)) for i in range(args.n)]
        with open(csv_path, 'w') as f:
            f.write('id,n,name,word\n')
            f.writelines(f'{a},{b},{c},{d}\n' for a, b, c, d in rows)
        converted = subprocess.run([convert, 'from-csv', csv_path], check=True, capture_output=True).stdout
        with open(env_path, 'wb') as f:
            f.write(converted)
        expected_head = b'R(id int, n int, name char(10), word char(7))\n'
        if not converted.startswith(expected_head) or converted.count(b'\n') != args.n + 2:
            sys.exit('from-csv did not give the expected relation')
        with open(os.devnull, 'rb') as nothing, open(os.devnull, 'wb') as sink:
            load = timed([qorvantel, env_path], args.repeat, stdin=nothing, stdout=sink)
            show = timed([qorvantel, env_path], args.repeat, input=b'\n', stdout=sink)
            from_csv = timed([convert, 'from-csv', csv_path], args.repeat, stdout=sink)
            to_csv = timed([convert, 'to-csv', env_path, os.path.join(directory, 'out')], args.repeat, stdout=sink)
    print(f'convert bench, {args.n} rows x 4 columns, CPU seconds, median of {args.repeat}:')
    print(f'  qorvantel load       {load:7.3f} s')
    print(f'  qorvantel load+show  {show:7.3f} s')
    print(f'  from-csv             {from_csv:7.3f} s   {from_csv / load:5.2f} x load')
    print(f'  to-csv               {to_csv:7.3f} s   {to_csv / load:5.2f} x load, {to_csv / show:5.2f} x load+show')
    return 0 if from_csv <= 1.5 * load and to_csv <= 1.5 * show else 1


if __name__ == '__main__':
    sys.exit(main())
