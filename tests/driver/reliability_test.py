#!/usr/bin/env python3
"""A failing machine and a hostile user: read errors injected into every
input, a missing environment file, an output pipe that dies, a FIFO named
twice, memory limits that the program must meet with a clean message, and
operand counts that must cost time in proportion.

Usage: reliability_test.py PROGRAM

Environment: QORVANTEL_READ_FAILURE_SHIM, the preloadable read(2) that fails
on demand (tests/driver/read_failure_shim.cpp); QORVANTEL_SANITIZED=1 for a
sanitizer build, where address-space limits do not apply and the memory
cases are skipped. Prints 'N passed, N failed' and exits non-zero when
anything failed.
"""
import os
import resource
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from tally import Tally, show  # noqa: E402

PROGRAM = None
SHIM = os.environ.get('QORVANTEL_READ_FAILURE_SHIM')
SANITIZED = os.environ.get('QORVANTEL_SANITIZED') == '1'
TIMEOUT_SECONDS = 60
MB = 1 << 20

TALLY = Tally()
record = TALLY.record
skip = TALLY.skip


def limited(megabytes):
    """A preexec_fn that caps the child's address space."""
    def apply():
        resource.setrlimit(resource.RLIMIT_AS, (megabytes * MB, megabytes * MB))
    return apply


def run(args, stdin=b'', cwd=None, env=None, memory_mb=None):
    environment = dict(os.environ)
    environment.update(env or {})
    try:
        done = subprocess.run([PROGRAM] + list(args), input=stdin, cwd=cwd, env=environment,
                              capture_output=True, timeout=TIMEOUT_SECONDS,
                              preexec_fn=limited(memory_mb) if memory_mb else None)
        return done.returncode, done.stdout, done.stderr
    except subprocess.TimeoutExpired:
        return 'timeout', b'', b''


def check(name, result, status, stdout=None, suffix=None):
    got_status, got_stdout, got_stderr = result
    problems = []
    if got_status != status:
        problems.append(f'exit status {got_status}, expected {status}')
    if got_stderr:
        problems.append(f'standard error: {show(got_stderr)}')
    if stdout is not None and got_stdout != stdout:
        problems.append(f'standard output {show(got_stdout)}, expected {show(stdout)}')
    if suffix is not None and not got_stdout.endswith(suffix):
        problems.append(f'standard output ends {show(got_stdout[-200:])}, expected ...{show(suffix)}')
    record(name, problems)


def relation(name, rows, columns='a int'):
    return f'{name}({columns})\n'.encode() + b''.join(b'%d\n' % i for i in rows)


# ---------------------------------------------------------------------------
# Read errors: the shim fails a descriptor after some bytes. Nothing may be
# evaluated on the text read before the failure.

def test_read_errors(directory):
    if SHIM is None or not os.path.exists(SHIM):
        skip('read errors', 'no read failure shim given')
        return
    # 50,000 rows: the failure falls in the middle of the relation.
    big = b'R\n' + relation('R', range(50000))
    path = os.path.join(directory, 'in.txt')
    with open(path, 'wb') as f:
        f.write(big)
    env_path = os.path.join(directory, 'env.txt')
    with open(env_path, 'wb') as f:
        f.write(relation('R', range(50000)))

    def failing(fd, after=131072):
        preload = SHIM
        if SANITIZED:
            # The sanitizer runtime must come first; the shim follows it.
            env = {'ASAN_OPTIONS': os.environ.get('ASAN_OPTIONS', '') + ':verify_asan_link_order=0'}
        else:
            env = {}
        env.update({'LD_PRELOAD': preload, 'QORVANTEL_FAIL_READ_FD': str(fd),
                    'QORVANTEL_FAIL_READ_AFTER': str(after)})
        return env

    check('a read error in standard input is reported, not evaluated',
          run([], stdin=big, env=failing(0)), 1, b'Cannot read standard input.\n')
    out_path = os.path.join(directory, 'out.txt')
    check('a read error in the input file is reported, not evaluated',
          run(['in.txt', 'out.txt'], cwd=directory, env=failing(3)), 1,
          b'Cannot read input file in.txt.\n')
    record('the output file stays empty after a read error',
           [] if os.path.getsize(out_path) == 0 else ['the output file has content'])
    check('a read error in the environment file ends the run before the first prompt',
          run(['env.txt'], stdin=b'R\n', cwd=directory, env=failing(3)), 1,
          b'Cannot read environment file env.txt.\n')
    # The console fails after ten lines have been read: those are answered,
    # then the session ends with the message instead of taking it for the end.
    small = os.path.join(directory, 'small.txt')
    with open(small, 'wb') as f:
        f.write(relation('S', [1]))
    answer = b'$S(a int)\n1\n\n'
    check('a read error on the console ends the session with status 1',
          run(['small.txt'], stdin=b'S\n' * 100000, cwd=directory, env=failing(0, after=20)), 1,
          answer * 10 + b'$Cannot read standard input.\n')
    check('the same session without the failure reads every line',
          run(['small.txt'], stdin=b'S\n' * 10, cwd=directory), 0, answer * 10 + b'$\n')


# ---------------------------------------------------------------------------
# Files the interactive session and batch mode are given

def test_files(directory):
    check('a missing environment file is reported before the first prompt',
          run(['nosuch.env'], stdin=b'R\n', cwd=directory), 1,
          b'Cannot open environment file nosuch.env.\n')
    os.mkdir(os.path.join(directory, 'sub'))
    check('a directory for an environment file is reported before the first prompt',
          run(['sub'], stdin=b'R\n', cwd=directory), 1, b'Cannot open environment file sub.\n')
    fifo = os.path.join(directory, 'fifo')
    os.mkfifo(fifo)
    check('a FIFO named as input and output is refused without waiting on it',
          run(['fifo', 'fifo'], cwd=directory), 1,
          b'Input file fifo and output file fifo are the same file.\n')


def test_dead_output(directory):
    with open(os.path.join(directory, 'env.txt'), 'wb') as f:
        f.write(relation('R', range(10)))
    # SIGPIPE ignored, as supervisors and language runtimes often leave it:
    # only the failed write can stop the session.
    feeder = subprocess.Popen(['yes', 'R'], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    session = subprocess.Popen([PROGRAM, 'env.txt'], cwd=directory, stdin=feeder.stdout,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               restore_signals=False,
                               preexec_fn=lambda: signal.signal(signal.SIGPIPE, signal.SIG_IGN))
    feeder.stdout.close()
    session.stdout.read(4096)
    session.stdout.close()
    problems = []
    try:
        status = session.wait(timeout=TIMEOUT_SECONDS)
        if status != 1:
            problems.append(f'exit status {status}, expected 1')
    except subprocess.TimeoutExpired:
        session.kill()
        session.wait()
        problems.append(f'still evaluating into a closed pipe after {TIMEOUT_SECONDS} s')
    feeder.kill()
    feeder.wait()
    session.stderr.close()
    record('a session whose output pipe closed ends with status 1', problems)


# ---------------------------------------------------------------------------
# Memory: each case fits easily in its limit when the program needs memory
# in proportion to its data, and did not before.

def test_memory(directory):
    if SANITIZED:
        skip('memory limits', 'address-space limits do not apply under the sanitizers')
        return
    with open(os.path.join(directory, 'env.txt'), 'wb') as f:
        f.write(relation('R', [1]))
    long_line = b'R' + b' ' * (200 * MB) + b'\n'
    answer = b'$R(a int)\n1\n\n'
    check('a console line too long for memory is that line\'s error, and the session goes on',
          run(['env.txt'], stdin=b'R\n' + long_line + b'R\n', cwd=directory, memory_mb=300), 0,
          answer + b'$Out of memory.\n' + answer + b'$\n')

    # Strings and rows just over 4 KiB: each once took a 64 KiB-aligned block.
    strings = b'R(s char(4100))\n' + b''.join(b"'%04100d'\n" % i for i in range(10000))
    wide = b'W(' + b', '.join(b'c%d int' % i for i in range(175)) + b')\n'
    wide += b''.join(b', '.join([b'%d' % i] * 175) + b'\n' for i in range(3000))
    for name, environment in [('strings of 4,100 characters', strings), ('rows of 175 columns', wide)]:
        with open(os.path.join(directory, 'in.txt'), 'wb') as f:
            f.write(environment[:1] + b'\n' + environment)
        check(f'{name} fit in memory in proportion to their size',
              run(['in.txt', 'out.txt'], cwd=directory, memory_mb=400), 0, b'')

    # A hundred thousand columns and one row: 2 MB of text.
    columns = b'C(' + b', '.join(b'c%d int' % i for i in range(100000)) + b')\n'
    columns += b', '.join([b'7'] * 100000) + b'\n'
    with open(os.path.join(directory, 'in.txt'), 'wb') as f:
        f.write(b'C\n' + columns)
    check('reading a relation of 100,000 columns needs memory for its data, not per column',
          run(['in.txt', 'out.txt'], cwd=directory, memory_mb=200), 0, b'')

    # Products: one that cannot fit is refused with its row count, and the
    # session goes on; one that fits the limit but not what is left of it
    # runs out of memory cleanly.
    with open(os.path.join(directory, 'env.txt'), 'wb') as f:
        f.write(relation('A', range(10000), 'a int') + relation('B', range(10000), 'b int')
                + relation('C', range(10000), 'c int') + relation('D', range(3000), 'd int')
                + relation('E', range(1000), 'e int') + relation('F', [1], 'f int'))
    check('a product that cannot fit is refused before it is built',
          run(['env.txt'], stdin=b'product(A, B, C)\nF\n', cwd=directory, memory_mb=1000), 0,
          b'$Product of 1000000000000 rows does not fit in memory.\n$F(f int)\n1\n\n$\n')
    check('a product that exhausts the memory left is reported as out of memory',
          # 3,000,000 rows of 88 bytes selected from the product, built one
          # by one without the product: more than the limit of 200 MB.
          run(['env.txt'], stdin=b'select(product(D, E), GTE(d, 0))\nF\n', cwd=directory, memory_mb=200),
          0, b'$Out of memory.\n$F(f int)\n1\n\n$\n')
    check('the same product refused in batch mode exits 1',
          run([], stdin=b'product(A, B, C)\n' + open(os.path.join(directory, 'env.txt'), 'rb').read(),
              memory_mb=1000), 1, suffix=b'\nProduct of 1000000000000 rows does not fit in memory.\n')


def resident_kb(pid):
    with open(f'/proc/{pid}/status') as status:
        for line in status:
            if line.startswith('VmRSS:'):
                return int(line.split()[1])
    return 0


def read_prompt(stream):
    """Reads the output of one console line, up to and with the next prompt."""
    seen = b''
    while not seen.endswith(b'$'):
        chunk = stream.read1(65536)
        if not chunk:
            break
        seen += chunk
    return seen


def test_memory_after_a_big_query(directory):
    if SANITIZED:
        skip('memory after a big query', 'the sanitizers allocate objects one by one')
        return
    with open(os.path.join(directory, 'env.txt'), 'wb') as f:
        f.write(relation('D', range(2000), 'd int') + relation('E', range(1000), 'e int'))
    session = subprocess.Popen([PROGRAM, 'env.txt'], cwd=directory, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE)
    read_prompt(session.stdout)
    before = resident_kb(session.pid)
    # Two million rows built and dropped; the result is 2,000 rows. (A
    # select over the product would not build it.)
    session.stdin.write(b'project(product(D, E), d)\n')
    session.stdin.flush()
    read_prompt(session.stdout)
    after = resident_kb(session.pid)
    session.stdin.close()
    session.wait(timeout=TIMEOUT_SECONDS)
    record('a session gives back the memory of a big query once it is answered',
           [] if after < before + 32 * 1024 else [f'resident {before} KB before, {after} KB after'])


# ---------------------------------------------------------------------------
# Time: many operands cost time in proportion to their number.

def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def best_time(args, stdin, repeats):
    """The least processor time of the runs: unlike the time on the clock,
    it does not depend on what else the machine is doing."""
    best = None
    for _ in range(repeats):
        start = cpu_seconds()
        try:
            subprocess.run([PROGRAM] + args, input=stdin, stdout=subprocess.DEVNULL, check=False,
                           timeout=TIMEOUT_SECONDS)
        except subprocess.TimeoutExpired:
            return float('inf')
        elapsed = cpu_seconds() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def many_operands(operator, count):
    names = ', '.join(f'R{i}' for i in range(count))
    column = (lambda i: f'c{i} int') if operator == 'product' else (lambda i: 'a int')
    body = ''.join(f'R{i}({column(i)})\n{i % 1000}\n' for i in range(count))
    return f'{operator}({names})\n{body}'.encode()


def test_operand_counts():
    for operator in ['union', 'minus', 'product']:
        repeats = 1 if SANITIZED else 3
        small = best_time([], many_operands(operator, 10000), repeats)
        large = best_time([], many_operands(operator, 40000), repeats)
        # Four times the operands: about four times the time in proportion,
        # sixteen when quadratic.
        ratio = large / small
        record(f'{operator} of 40,000 operands takes time in proportion to 10,000',
               [] if ratio < 8 else [f'{small:.2f} s for 10,000, {large:.2f} s for 40,000: ratio {ratio:.1f}'])


def main():
    global PROGRAM
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    PROGRAM = os.path.abspath(sys.argv[1])
    for test in [test_read_errors, test_files, test_dead_output, test_memory, test_memory_after_a_big_query]:
        with tempfile.TemporaryDirectory() as directory:
            test(directory)
    test_operand_counts()
    sys.exit(TALLY.finish())


if __name__ == '__main__':
    main()
