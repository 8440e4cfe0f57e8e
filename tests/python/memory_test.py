#!/usr/bin/env python3
"""The module under the interpreter's memory budget: a Python process in a
512 MiB memory control group is refused a product of a 10,000-row relation
with itself (10^8 rows) at once, as the console is, and gets
qorvantel.OutOfMemoryError ("Out of memory.") for a join of the two that
outgrows the budget as it goes, instead of being killed; then it
evaluates the next query;
qorvantel.memory_budget() is within the group's limit.

Usage: memory_test.py PROGRAM (ignored). Skipped (77) where no group can be
made or in a sanitizer build, as tests/driver/memory_limit_test.py is
(the control group code is tests/support/cgroup.py).
"""
import os
import subprocess
import sys

from python_support import ROOT, SKIPPED, use_package

sys.path.insert(0, os.path.join(ROOT, 'tests', 'support'))
import cgroup as groups  # noqa: E402

LIMIT_MB = 512

CHILD = r'''
import qorvantel
rows = '\n'.join(f"{i}, 'name{i % 97}', {i % 13}" for i in range(10000))
env = qorvantel.Environment.from_text('r(id int, name char(8), v int)\n' + rows + '\n')
print('budget', qorvantel.memory_budget() >> 20, flush=True)
try:
    env.evaluate('product(r, rename(r, s(id2, name2, v2)))')
    print('evaluated')
except qorvantel.Error as error:
    print('refused at once:', str(error))
try:
    env.evaluate('project(select(product(r, rename(r, s(id2, name2, v2))), NEQ(v, v2)), id, id2)')
    print('evaluated')
except qorvantel.OutOfMemoryError as error:
    print('refused', str(error), isinstance(error, MemoryError))
print(len(env.evaluate('select(r, LT(id, 5))')))
'''


def main():
    use_package()
    if os.environ.get('QORVANTEL_SANITIZED') == '1':
        print('skipped: a sanitizer build has no data limit')
        return SKIPPED
    group, reason = groups.make_group(LIMIT_MB, 'python-memory')
    if group is None:
        print(f'skipped: no memory control group: {reason}')
        return SKIPPED
    try:
        def enter():
            groups.write(os.path.join(group, 'cgroup.procs'), str(os.getpid()))
        done = subprocess.run([sys.executable, '-c', CHILD], capture_output=True, text=True, timeout=300,
                              preexec_fn=enter)
    finally:
        groups.remove_group(group)
    lines = done.stdout.split('\n')
    problems = []
    if done.returncode != 0:
        problems.append(f'status {done.returncode}: {done.stderr[-2000:]}')
    if len(lines) < 3 or not lines[0].startswith('budget ') or int(lines[0].split()[1]) > LIMIT_MB:
        problems.append(f'budget line {lines[:1]}')
    if 'refused at once: Product of 100000000 rows does not fit in memory.' not in lines:
        problems.append(f'the product was not refused at once: {done.stdout!r}')
    if 'refused Out of memory. True' not in lines:
        problems.append(f'no OutOfMemoryError: {done.stdout!r}')
    if '5' not in lines:
        problems.append('the next query was not answered')
    for problem in problems:
        print('FAIL ' + problem)
    print(f'{0 if problems else 1} passed, {1 if problems else 0} failed')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
