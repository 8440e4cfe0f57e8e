#!/usr/bin/env python3
"""qorvantel-check --grade inside a 512 MiB memory control group (issue 31,
row 1): a student's product of a 10,000-row relation with itself, which
reached 8 GB without a bound, is reported for that answer ("Out of memory."
or the product refused in advance, and that a join condition may be
missing), and every other answer and submission is still graded; the
program is never killed by the kernel.

Usage: memory_limit_test.py PROGRAM (qorvantel-check is found beside it).
Exits 77 (skipped) with the reason where no control group can be made, as
tests/driver/memory_limit_test.py does.
"""
import os
import signal
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from cgroup import SKIPPED, make_group, remove_group, run_in, skip_reason  # noqa: E402
from tally import Tally, show  # noqa: E402

LIMIT_MB = 512
TIMEOUT_SECONDS = 300
PRODUCT = 'product(r, rename(r, s(id2, name2, v2)))'
NOTE = b'Note: The answer builds a Cartesian product, where a join condition may be missing.\n'

EXERCISES = ('database: r.env\n'
             '== a [2 points]\nIds.\n--- answer\nproject(r, id)\n'
             '== b\nIds of rows with a v that some row does not share.\n--- answer\nproject(r, id)\n'
             '== c\nNames.\n--- answer\nproject(r, name)\n')
STUDENT = (f'== a\nproject({PRODUCT}, id)\n'
           f'== b\nproject(select({PRODUCT}, NEQ(v, v2)), id)\n'
           '== c\nproject(r, name)\n')
RIGHT = '== a\nproject(r, id)\n== b\nproject(r, id)\n== c\nproject(r, name)\n'


def main():
    check = os.path.join(os.path.dirname(os.path.abspath(sys.argv[1])), 'qorvantel-check')
    reason = skip_reason()
    if reason is None:
        group, reason = make_group(LIMIT_MB, 'check-memory-test')
    if reason is not None:
        print(f'SKIP: cannot run qorvantel-check in a memory control group of {LIMIT_MB} MiB: {reason}')
        return SKIPPED
    print(f'control group {group}, limit {LIMIT_MB} MiB')
    tally = Tally()
    try:
        with tempfile.TemporaryDirectory() as directory:
            rows = ''.join(f"{i}, 'n{i}', {i % 7}\n" for i in range(10000))
            for name, content in (('r.env', 'r(id int, name char(8), v int)\n' + rows),
                                  ('m.exercises', EXERCISES), ('student.txt', STUDENT), ('right.txt', RIGHT)):
                with open(os.path.join(directory, name), 'w') as f:
                    f.write(content)
            status, out, err = run_in(group, [check, '--grade', 'm.exercises', 'student.txt', 'right.txt'], b'',
                                      directory, TIMEOUT_SECONDS)
            problems = []
            if status == -signal.SIGKILL:
                problems.append('killed by the kernel (signal 9): the memory limit was passed')
            elif status != 1:
                problems.append(f'exit status {status}, expected 1; standard error {show(err)}')
            table = out.split(b'\n\n')[0].split(b'\n')
            if table[1:3] != [b'student.txt 0/2 0/1 1/1       1/4', b'right.txt   2/2 1/1 1/1       4/4']:
                problems.append('points ' + show(b'\n'.join(table)))
            for exercise in (b'a', b'b'):
                report = out.split(b'student.txt, exercise ' + exercise + b': ')[-1]
                lines = report.split(b'\n', 2)
                memory = lines[1:2] == [b'Out of memory.'] or (
                    len(lines) > 1 and lines[1].startswith(b'Product of ') and lines[1].endswith(b'fit in memory.'))
                if not memory or not report.split(b'\n', 2)[2].startswith(NOTE):
                    problems.append(f'exercise {exercise.decode()}: ' + show(report[:300]))
            tally.record('--grade: a product past the budget is that answer\'s failure; the rest is graded', problems)
    finally:
        remove_group(group)
    return tally.finish()


if __name__ == '__main__':
    sys.exit(main())
