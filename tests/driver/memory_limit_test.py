#!/usr/bin/env python3
"""The program inside a small memory control group, as in a container or a
CI job: a query that would pass the group's limit ends with a message and
status 1 (batch) or the next prompt (interactive), and is never killed by
the kernel without a word; a query that fits still runs.

Usage: memory_limit_test.py PROGRAM

Makes a control group of LIMIT_MB below the test's own group (version 2
under /sys/fs/cgroup, version 1 under /sys/fs/cgroup/memory), runs each case
in it and removes it. Needs root, as CI has. When no group can be made, or
in a sanitizer build (QORVANTEL_SANITIZED=1), whose shadow memory leaves no
room for a data limit, it says why and exits 77, which ctest shows as
skipped.
"""
import os
import signal
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from cgroup import SKIPPED, make_group, remove_group, run_in as run_in_group, skip_reason  # noqa: E402
from tally import Tally, show  # noqa: E402

LIMIT_MB = 256
TIMEOUT_SECONDS = 120

TALLY = Tally()


def run_in(group, args, stdin, cwd):
    status, stdout, _ = run_in_group(group, [PROGRAM] + args, stdin, cwd, TIMEOUT_SECONDS)
    return status, stdout


def check(name, result, status, suffix):
    got_status, got_stdout = result
    problems = []
    if got_status == -signal.SIGKILL:
        problems.append('killed by the kernel (signal 9): the memory limit was passed')
    elif got_status != status:
        problems.append(f'exit status {got_status}, expected {status}')
    if not got_stdout.endswith(suffix):
        problems.append('output ends ' + show(got_stdout[-200:]))
        problems.append('expected end ' + show(suffix))
    TALLY.record(name, problems)


def relation(name, column, values):
    return f'{name}({column} int)\n'.encode() + b''.join(b'%d\n' % v for v in values)


def run_cases(group, directory):
    # Three products of 2,000,000 rows: each alone fits in the limit, their
    # union does not.
    environment = (relation('A', 'a', range(2000)) + relation('B', 'b', range(1000))
                   + relation('C', 'b', range(1000, 2000)) + relation('D', 'b', range(2000, 3000))
                   + relation('E', 'e', range(1000)) + relation('K', 'k', range(5000)) + relation('F', 'f', [1]))
    with open(os.path.join(directory, 'env.txt'), 'wb') as f:
        f.write(environment)
    growing = b'union(product(A, B), product(A, C), product(A, D))'

    check('batch: a union that outgrows the limit ends with the message and status 1',
          run_in(group, [], growing + b'\n' + environment, directory), 1,
          b'\nF(f int)\n1\nOut of memory.\n')
    check('interactive: after running out of memory the session goes on',
          run_in(group, ['env.txt'], growing + b'\nF\n', directory), 0,
          b'$Out of memory.\n$F(f int)\n1\n\n$\n')
    check('batch: a product known in advance not to fit is refused before it is built',
          run_in(group, [], b'product(K, rename(K, L(k2)))\n' + environment, directory), 1,
          b'\nProduct of 25000000 rows does not fit in memory.\n')
    check('interactive: a product of 1,000,000 rows fits the limit and runs',
          run_in(group, ['env.txt'], b'project(product(E, B), b)\n', directory), 0,
          b'\n997\n998\n999\n\n$\n')


def main():
    global PROGRAM
    PROGRAM = os.path.abspath(sys.argv[1])
    reason = skip_reason()
    if reason is not None:
        print(f'SKIP: {reason}')
        return SKIPPED
    group, reason = make_group(LIMIT_MB)
    if group is None:
        print(f'SKIP: cannot make a memory control group of {LIMIT_MB} MiB: {reason}')
        return SKIPPED
    print(f'control group {group}, limit {LIMIT_MB} MiB')
    try:
        with tempfile.TemporaryDirectory() as directory:
            run_cases(group, directory)
    finally:
        remove_group(group)
    return TALLY.finish()


if __name__ == '__main__':
    sys.exit(main())
