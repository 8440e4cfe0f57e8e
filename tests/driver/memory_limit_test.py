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
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from tally import Tally, show  # noqa: E402

SKIPPED = 77
LIMIT_MB = 256
TIMEOUT_SECONDS = 120
UNIFIED = '/sys/fs/cgroup'
MEMORY_V1 = '/sys/fs/cgroup/memory'

TALLY = Tally()


def write(path, text):
    with open(path, 'w') as f:
        f.write(text)


def own_groups():
    """This process's group path in version 2 and in version 1's memory hierarchy."""
    unified = memory = None
    with open('/proc/self/cgroup') as f:
        for line in f:
            number, controllers, path = line.rstrip('\n').split(':', 2)
            if number == '0' and controllers == '':
                unified = path
            elif 'memory' in controllers.split(','):
                memory = path
    return unified, memory


def try_make(parent, name, limit_file, extra=()):
    """A new group under parent with limit_file set, or None with the reason."""
    if not os.path.isdir(parent):
        return None, f'{parent} is not there'
    group = os.path.join(parent, name)
    try:
        os.mkdir(group)
    except OSError as error:
        return None, f'cannot make {group}: {error.strerror}'
    try:
        if not os.path.exists(os.path.join(group, limit_file)):
            # Version 2 shows memory files only once the parent passes the
            # memory controller down to its children.
            write(os.path.join(parent, 'cgroup.subtree_control'), '+memory')
        write(os.path.join(group, limit_file), str(LIMIT_MB << 20))
    except OSError as error:
        os.rmdir(group)
        return None, f'cannot limit the memory of {group}: {error.strerror}'
    # No swap, so that passing the limit means what it means on a machine
    # without swap: the kernel kills.
    for each, value in extra:
        try:
            write(os.path.join(group, each), value)
        except OSError:
            pass
    return group, None


def make_group():
    name = f'qorvantel-memory-test-{os.getpid()}'
    unified, memory = own_groups()
    reasons = []
    candidates = []
    if os.path.exists(os.path.join(UNIFIED, 'cgroup.controllers')) and unified is not None:
        candidates += [(UNIFIED + unified.rstrip('/'), 'memory.max', [('memory.swap.max', '0')])]
        if unified.strip('/'):
            candidates += [(UNIFIED, 'memory.max', [('memory.swap.max', '0')])]
    if memory is not None:
        v1 = ('memory.limit_in_bytes', [('memory.memsw.limit_in_bytes', str(LIMIT_MB << 20)),
                                        ('memory.swappiness', '0')])
        candidates += [(MEMORY_V1 + memory.rstrip('/'), *v1)]
        if memory.strip('/'):
            candidates += [(MEMORY_V1, *v1)]
    if not candidates:
        return None, 'no memory control group hierarchy is mounted'
    for parent, limit_file, extra in candidates:
        group, reason = try_make(parent, name, limit_file, extra)
        if group is not None:
            return group, None
        reasons.append(reason)
    return None, '; '.join(reasons)


def remove_group(group):
    # The group goes once the kernel has finished with its last process.
    for _ in range(50):
        try:
            os.rmdir(group)
            return
        except OSError:
            time.sleep(0.1)
    print(f'note: could not remove {group}')


def run_in(group, args, stdin, cwd):
    def enter():
        write(os.path.join(group, 'cgroup.procs'), str(os.getpid()))
    try:
        done = subprocess.run([PROGRAM] + args, input=stdin, cwd=cwd, capture_output=True,
                              timeout=TIMEOUT_SECONDS, preexec_fn=enter)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired:
        return 'timeout', b''


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
    if os.environ.get('QORVANTEL_SANITIZED') == '1':
        print('SKIP: a sanitizer build sets no data limit, so a memory control group would kill it')
        return SKIPPED
    group, reason = make_group()
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
