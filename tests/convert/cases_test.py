#!/usr/bin/env python3
"""Runs the command-line cases of qorvantel-convert from tests/convert/*.cases.

The format is that of tests/golden (see run_golden.py), with one more
section: '--- stderr' holds the expected standard error, which is otherwise
expected to be empty. Every case runs qorvantel-convert, found next to the
program given as the argument, in a fresh temporary directory.
"""
import glob
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), 'golden'))
import run_golden  # noqa: E402


def run_case(convert, case):
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        expected = {'stdin': b'', 'stdout': b'', 'stderr': b''}
        for section in case['sections']:
            content = run_golden.decode(section['content'], section['options'])
            if section['kind'] == 'file':
                with open(os.path.join(directory, section['arg']), 'wb') as f:
                    f.write(content)
            elif section['kind'] in expected:
                expected[section['kind']] = content
        run = subprocess.run([convert] + case['args'], input=expected['stdin'], cwd=directory,
                             capture_output=True, timeout=60)
        if run.returncode != case['status']:
            failures.append(f'exit status {run.returncode}, expected {case["status"]}')
        for stream, actual in (('stdout', run.stdout), ('stderr', run.stderr)):
            if actual != expected[stream]:
                failures.append(f'standard {stream[3:]} differs\n  expected: {run_golden.show(expected[stream])}\n'
                                f'  actual:   {run_golden.show(actual)}')
        failures += run_golden.file_failures(case, directory)
    return failures


def main():
    convert = os.path.join(os.path.dirname(os.path.abspath(sys.argv[1])), 'qorvantel-convert')
    return run_golden.run_files(sorted(glob.glob(os.path.join(HERE, '*.cases'))),
                                lambda case: run_case(convert, case))


if __name__ == '__main__':
    sys.exit(main())
