#!/usr/bin/env bash
# Runs the input of every golden case under valgrind's memcheck against a
# Release build and fails on any memory error or definite or indirect leak.
# Each case runs in a fresh temporary directory with its files, arguments
# and standard input, as the golden runner sets it up; the expected output is
# not checked here (the golden tests do that).
#
# The pool, which the Release and sanitizer builds both use, keeps its
# chunks until the process ends, so a leaked value or row shows in neither.
# Run this on a build configured with -DQORVANTEL_PLAIN_ALLOCATION=ON (as CI
# does), where every value and row is an allocation of its own and memcheck
# sees each one that leaks.
#
# Usage: scripts/leak_check.sh [PROGRAM] [CASES_FILE...]
#   PROGRAM defaults to build/qorvantel, the cases to tests/golden/*.cases.
#   JOBS (default 2) runs that many cases at once.
set -euo pipefail
cd "$(dirname "$0")/.."

program=${1:-build/qorvantel}
shift || true
if [ ! -x "$program" ]; then
    echo "leak_check: $program is missing; build the Release program first" >&2
    exit 2
fi
if ! command -v valgrind >/dev/null; then
    echo "leak_check: valgrind is not installed" >&2
    exit 2
fi

exec python3 - "$(realpath "$program")" "${JOBS:-2}" "$@" <<'PYTHON'
import concurrent.futures
import glob
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.getcwd(), 'tests', 'golden'))
import run_golden  # the one parser of the .cases format

program, jobs = sys.argv[1], int(sys.argv[2])
paths = sys.argv[3:] or sorted(glob.glob('tests/golden/*.cases'))
ERROR_STATUS = 99
VALGRIND = ['valgrind', '--tool=memcheck', '--leak-check=full', '--show-leak-kinds=definite,indirect',
            '--errors-for-leak-kinds=definite,indirect', f'--error-exitcode={ERROR_STATUS}', '-q']


def check(path, case):
    with tempfile.TemporaryDirectory() as directory:
        stdin = b''
        for section in case['sections']:
            content = run_golden.decode(section['content'], section['options'])
            if section['kind'] == 'file':
                with open(os.path.join(directory, section['arg']), 'wb') as f:
                    f.write(content)
            elif section['kind'] == 'stdin':
                stdin = content
        log = os.path.join(directory, 'valgrind.log')
        try:
            run = subprocess.run(VALGRIND + [f'--log-file={log}', program] + case['args'], input=stdin,
                                 cwd=directory, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 timeout=600)
            status = run.returncode
        except subprocess.TimeoutExpired:
            status = 'timeout'
        report = ''
        if status not in (0, 1) and os.path.exists(log):
            with open(log, errors='replace') as f:
                report = f.read()
        return path, case, status, report


cases = [(path, case) for path in paths for case in run_golden.parse_cases(path)]
started = time.monotonic()
clean = bad = 0
with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
    for path, case, status, report in pool.map(lambda each: check(*each), cases):
        if status in (0, 1):
            clean += 1
            continue
        bad += 1
        what = 'memory errors or leaks' if status == ERROR_STATUS else f'exit status {status}'
        print(f'FAIL {os.path.basename(path)}:{case["line"]}: {case["name"]}: {what}')
        for line in report.splitlines()[:60]:
            print('  ' + line)
print(f'leak check: {len(cases)} cases from {len(paths)} files in {time.monotonic() - started:.0f} s')
print(f'{clean} passed, {bad} failed')
sys.exit(1 if bad else 0)
PYTHON
