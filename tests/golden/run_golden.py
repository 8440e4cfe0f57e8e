#!/usr/bin/env python3
"""Runs end-to-end cases of the qorvantel program from a .cases file.

A .cases file holds one or more cases. Lines before the first case that begin
with '#' are comments. A case is:

    === name of the case
    args: in.txt out.txt        (optional: the command-line arguments)
    status: 1                   (optional: the expected exit status, default 0)
    --- file in.txt             (a file created in the case's directory first)
    ...content...
    --- stdin                   (standard input; absent means empty)
    ...content...
    --- stdout                  (expected standard output; absent means empty)
    ...content...
    --- stdout echo             (the same, after the echo of the whole stdin)
    ...content...
    --- expect-file out.txt     (expected bytes of a file after the run)
    ...content...
    --- absent-file out.txt     (the file must not exist after the run)

Content runs to the next '--- ' or '=== ' line, every line with its newline.
Cases are separated by one blank line: the last blank line before a '=== '
line or the end of the file is a separator, not content.
Words after the section name adjust the content: 'noeol' drops the final
newline, 'escaped' decodes \\xNN, \\r, \\t, \\e and \\\\ escapes. On the stdout
section, 'echo' says that the expected output begins with the stdin content,
byte for byte, and that the section's content follows it: a piped run echoes
its input, so a case need not write its input twice.
Each case runs in a fresh temporary directory, which is its working
directory, so file names in args are relative to it.
"""
import os
import re
import subprocess
import sys
import tempfile

TIMEOUT_SECONDS = 60


def decode(content, options):
    if 'escaped' in options:
        def replace(m):
            s = m.group(0)
            if s.startswith('\\x'):
                return chr(int(s[2:], 16))
            return {'\\r': '\r', '\\t': '\t', '\\e': '\x1b', '\\\\': '\\', '\\n': '\n'}[s]
        content = re.sub(r'\\x[0-9a-fA-F]{2}|\\[rte\\n]', replace, content)
    if 'noeol' in options and content.endswith('\n'):
        content = content[:-1]
    return content.encode('latin-1')


def parse_cases(path):
    with open(path, encoding='latin-1', newline='') as f:
        lines = f.read().split('\n')
    # Every line had a newline except possibly the last (empty) fragment.
    lines = [line + '\n' for line in lines[:-1]] + ([lines[-1]] if lines[-1] else [])
    cases = []
    case = None
    section = None
    for number, line in enumerate(lines, 1):
        if line.startswith('=== '):
            drop_separator(section)
            case = {'name': line[4:].strip(), 'line': number, 'args': [], 'status': 0,
                    'sections': []}
            cases.append(case)
            section = None
            continue
        if case is None:
            if line.strip() and not line.startswith('#'):
                raise SystemExit(f'{path}:{number}: text before the first case')
            continue
        if line.startswith('--- '):
            words = line[4:].split()
            section = {'kind': words[0], 'arg': None, 'options': [], 'content': ''}
            rest = words[1:]
            if section['kind'] in ('file', 'expect-file', 'absent-file'):
                section['arg'] = rest[0]
                rest = rest[1:]
            allowed = {'noeol', 'escaped'} | ({'echo'} if section['kind'] == 'stdout' else set())
            unknown = [word for word in rest if word not in allowed]
            if unknown:
                raise SystemExit(f'{path}:{number}: unknown option {unknown[0]!r} for {section["kind"]}')
            section['options'] = rest
            case['sections'].append(section)
            continue
        if section is None:
            if line.startswith('args:'):
                case['args'] = line[5:].split()
            elif line.startswith('status:'):
                case['status'] = int(line[7:])
            elif line.strip():
                raise SystemExit(f'{path}:{number}: unexpected line in case header')
            continue
        section['content'] += line
    drop_separator(section)
    return cases


def drop_separator(section):
    if section is not None and (section['content'] == '\n' or section['content'].endswith('\n\n')):
        section['content'] = section['content'][:-1]


def show(data):
    return data.decode('latin-1').encode('unicode_escape').decode('ascii')


def run_case(program, case):
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        stdin = b''
        stdout_expected = b''
        echoes_stdin = False
        for section in case['sections']:
            content = decode(section['content'], section['options'])
            if section['kind'] == 'file':
                with open(os.path.join(directory, section['arg']), 'wb') as f:
                    f.write(content)
            elif section['kind'] == 'stdin':
                stdin = content
            elif section['kind'] == 'stdout':
                stdout_expected = content
                echoes_stdin = 'echo' in section['options']
        if echoes_stdin:
            stdout_expected = stdin + stdout_expected
        try:
            run = subprocess.run([program] + case['args'], input=stdin, cwd=directory,
                                 capture_output=True, timeout=TIMEOUT_SECONDS)
        except subprocess.TimeoutExpired:
            return ['timed out']
        if run.returncode != case['status']:
            failures.append(f'exit status {run.returncode}, expected {case["status"]}')
        if run.stdout != stdout_expected:
            failures.append(f'standard output differs\n  expected: {show(stdout_expected)}\n'
                            f'  actual:   {show(run.stdout)}')
        if run.stderr:
            failures.append(f'standard error is not empty: {show(run.stderr)}')
        failures += file_failures(case, directory)
    return failures


def file_failures(case, directory):
    """What differs in the files a case expects to find, or not to find,
    in the directory it ran in."""
    failures = []
    for section in case['sections']:
        path = os.path.join(directory, section['arg'] or '')
        if section['kind'] == 'expect-file':
            expected = decode(section['content'], section['options'])
            if not os.path.exists(path):
                failures.append(f'file {section["arg"]} does not exist')
                continue
            with open(path, 'rb') as f:
                actual = f.read()
            if actual != expected:
                failures.append(f'file {section["arg"]} differs\n  expected: {show(expected)}\n'
                                f'  actual:   {show(actual)}')
        elif section['kind'] == 'absent-file' and os.path.exists(path):
            failures.append(f'file {section["arg"]} exists')
    return failures


def main():
    if len(sys.argv) < 3:
        raise SystemExit('usage: run_golden.py PROGRAM FILE.cases...')
    program = os.path.abspath(sys.argv[1])
    return run_files(sys.argv[2:], lambda case: run_case(program, case))


def run_files(paths, run_one):
    """Runs every case of the files with run_one, which returns a case's
    failures; prints each failed case and the tally, and returns the exit
    status: 1 when a case failed or none ran."""
    passed = failed = 0
    for path in paths:
        for case in parse_cases(path):
            failures = run_one(case)
            if failures:
                failed += 1
                print(f'FAIL {os.path.basename(path)}:{case["line"]}: {case["name"]}')
                for failure in failures:
                    print('  ' + failure)
            else:
                passed += 1
    print(f'{passed} passed, {failed} failed')
    return 1 if failed or passed == 0 else 0


if __name__ == '__main__':
    sys.exit(main())
