#!/usr/bin/env python3
"""Batch output is written in blocks, interactive output line by line.

Usage: output_blocks_test.py PROGRAM

Counts the write and writev system calls of a 100,000-row batch run with strace
(installed when missing and the test runs as root) in both batch forms, and
checks that a write failing half way through a batch run is reported, not
taken for success. Prints 'N passed, N failed' and exits non-zero on any
failure.
"""
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile

ROWS = 100_000
# A block is 256 KiB and the run writes about 4 MB, so a few dozen writes;
# anything near one per row means the flushes reach the system again.
MOST_BATCH_WRITES = 300

passed = 0
failed = 0


def check(name, ok, detail=''):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print(f'FAIL {name}: {detail}')


def ensure_strace():
    if shutil.which('strace'):
        return True
    if os.geteuid() == 0 and shutil.which('apt-get'):
        env = dict(os.environ, DEBIAN_FRONTEND='noninteractive')
        subprocess.run(['apt-get', 'install', '-y', '-q', 'strace'], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not shutil.which('strace'):
            subprocess.run(['apt-get', 'update', '-q'], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(['apt-get', 'install', '-y', '-q', 'strace'], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return shutil.which('strace') is not None


def write_calls(command, stdin_path, stdout_path, folder):
    """Runs command under strace and returns (exit status, write calls)."""
    summary = os.path.join(folder, 'strace.txt')
    # The sanitizer build's leak checker cannot run under a tracer; the
    # other suites check leaks.
    options = os.environ.get('ASAN_OPTIONS', '')
    env = dict(os.environ, ASAN_OPTIONS=(options + ':' if options else '') + 'detect_leaks=0')
    with open(stdin_path, 'rb') as stdin, open(stdout_path, 'wb') as stdout:
        status = subprocess.run(['strace', '-f', '-c', '-e', 'trace=write,writev', '-o', summary] + command,
                                stdin=stdin, stdout=stdout, stderr=subprocess.DEVNULL, env=env).returncode
    calls = 0
    with open(summary) as lines:
        for line in lines:
            fields = line.split()
            # The standard library's file buffer writes large blocks with
            # writev, so both calls count.
            if fields and fields[-1] in ('write', 'writev'):
                calls += int(fields[3])
    return status, calls


def main():
    program = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as folder:
        environment = ''.join(['R(a int, b char(12))\n'] +
                              [f"{i}, 'name {i % 977}'\n" for i in range(ROWS)])
        batch_input = os.path.join(folder, 'batch.txt')
        with open(batch_input, 'w') as f:
            f.write('R\n' + environment)

        if ensure_strace():
            standard_output = os.path.join(folder, 'standard.txt')
            status, calls = write_calls([program], batch_input, standard_output, folder)
            check('batch to standard output succeeds', status == 0, f'exit status {status}')
            check('batch to standard output writes in blocks', 0 < calls <= MOST_BATCH_WRITES,
                  f'{calls} write calls for {ROWS} rows')

            output_file = os.path.join(folder, 'out.txt')
            status, calls = write_calls([program, batch_input, output_file], os.devnull, os.devnull, folder)
            check('batch to a file succeeds', status == 0, f'exit status {status}')
            check('batch to a file writes in blocks', 0 < calls <= MOST_BATCH_WRITES,
                  f'{calls} write calls for {ROWS} rows')
            with open(standard_output, 'rb') as a, open(output_file, 'rb') as b:
                check('both batch forms write the same bytes', a.read() == b.read())

            # At a prompt each result line is flushed as it is written.
            env_file = os.path.join(folder, 'env.txt')
            with open(env_file, 'w') as f:
                f.write(''.join(['S(a int)\n'] + [f'{i}\n' for i in range(1000)]))
            console = os.path.join(folder, 'console.txt')
            with open(console, 'w') as f:
                f.write('S\n')
            status, calls = write_calls([program, env_file], console, os.devnull, folder)
            check('interactive run succeeds', status == 0, f'exit status {status}')
            check('interactive output is flushed per line', calls >= 1000, f'{calls} write calls for 1000 rows')
        else:
            print('SKIP write counts: strace is missing and cannot be installed')

        # A file size limit makes a write fail half way through the output.
        limited = os.path.join(folder, 'limited.txt')

        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (100_000, 100_000))

        run = subprocess.run([program, batch_input, limited], stdin=subprocess.DEVNULL,
                             capture_output=True, preexec_fn=limit_file_size)
        check('a write failing half way is an error', run.returncode == 1, f'exit status {run.returncode}')
        check('a write failing half way is reported',
              run.stdout == f'Cannot write output file {limited}.\n'.encode(), repr(run.stdout[:200]))

        with open(batch_input, 'rb') as stdin, open(limited, 'wb') as stdout:
            run = subprocess.run([program], stdin=stdin, stdout=stdout, stderr=subprocess.PIPE,
                                 preexec_fn=limit_file_size)
        check('standard output failing half way is an error', run.returncode == 1,
              f'exit status {run.returncode}')
        check('nothing on standard error', run.stderr == b'', repr(run.stderr[:200]))

    print(f'{passed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
