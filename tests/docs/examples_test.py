#!/usr/bin/env python3
"""Runs every example of the manual (docs/*.md) and of the exercise files
(examples/*.md) and compares the program's output with the text shown.

Examples are fenced code blocks whose info string names their kind:

    ```env NAME         an environment file the following sessions may load
    ```session NAME     an interactive session on environment NAME: a block
                        defined earlier in the same file, else examples/NAME.env;
                        a line that begins with $ is typed after the prompt,
                        the lines up to the next $ line are what it shows
    ```batch            a batch request on standard input, then
    ```output [status=N] the whole standard output and the exit status
    ```report           a companion program's report, which that program's
                        own test runs and compares (tests/check/check_test.py)

A fenced block of any other kind is a failure, so that a misspelt kind does
not leave an example unchecked; shell commands and other illustrations are
indented blocks. A session's standard output is its transcript without
the typed text, and the "$" and newline written when the input ends.

The files are UTF-8, and so are the bytes given to the program and expected
from it: an example with a letter outside ASCII or a curly quote shows what
the user types and sees.
"""
import glob
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FENCE = re.compile(r'^(\s*)```(.*)$')


def blocks(path):
    """Yields (line number, info words, content) of each fenced block."""
    with open(path, encoding='utf-8') as f:
        lines = f.read().split('\n')
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        indent, info, start = m.group(1), m.group(2).split(), i + 1
        i += 1
        content = []
        while i < len(lines) and lines[i].strip() != '```':
            line = lines[i]
            content.append(line[len(indent):] if line.startswith(indent) else line.lstrip())
            i += 1
        if i == len(lines):
            raise SystemExit(f'{path}:{start}: unterminated code block')
        i += 1
        yield start, info, ''.join(line + '\n' for line in content)


def run(program, args, stdin, directory):
    try:
        result = subprocess.run([program] + args, input=stdin.encode('utf-8'),
                                capture_output=True, cwd=directory, timeout=60)
    except subprocess.TimeoutExpired:
        return None, b'timed out', b''
    return result.returncode, result.stdout, result.stderr


def shown(output):
    """The program's output as text, bytes that are not UTF-8 escaped."""
    return output.decode('utf-8', errors='backslashreplace')


def session_io(transcript):
    """Splits a transcript into the typed lines and the expected output."""
    typed, expected = [], ''
    for line in transcript.splitlines(keepends=True):
        if line.startswith('$'):
            typed.append(line[1:])
            expected += '$'
        else:
            if not typed:
                raise ValueError('output before the first $ line')
            expected += line
    return ''.join(typed), expected + '$\n'


def check_file(program, path, directory):
    failures, count = [], 0
    environments = {}
    pending_batch = None
    name = os.path.relpath(path, ROOT)
    for line, info, content in blocks(path):
        kind = info[0] if info else ''
        where = f'{name}:{line}'
        if pending_batch and kind != 'output':
            failures.append(f'{pending_batch[0]}: batch block without an output block')
            pending_batch = None
        if kind == 'env':
            environments[info[1]] = content
        elif kind == 'session':
            env_name = info[1]
            env_path = os.path.join(directory, env_name + '.env')
            if env_name in environments:
                with open(env_path, 'w', encoding='utf-8') as f:
                    f.write(environments[env_name])
            else:
                env_path = os.path.join(ROOT, 'examples', env_name + '.env')
                if not os.path.exists(env_path):
                    failures.append(f'{where}: no environment {env_name}')
                    continue
            typed, expected = session_io(content)
            status, out, err = run(program, [env_path], typed, directory)
            count += 1
            if status != 0 or out != expected.encode('utf-8') or err:
                failures.append(f'{where}: session differs (status {status})\n'
                                f'--- expected\n{expected}--- actual\n'
                                f'{shown(out)}{shown(err)}')
        elif kind == 'batch':
            pending_batch = (where, content)
        elif kind == 'report':
            continue
        elif kind != 'output':
            failures.append(f'{where}: fenced block of unknown kind {kind!r}')
        elif kind == 'output':
            if not pending_batch:
                failures.append(f'{where}: output block without a batch block')
                continue
            expected_status = 0
            for word in info[1:]:
                if word.startswith('status='):
                    expected_status = int(word[7:])
            status, out, err = run(program, [], pending_batch[1], directory)
            count += 1
            if status != expected_status or out != content.encode('utf-8') or err:
                failures.append(f'{pending_batch[0]}: batch differs (status {status})\n'
                                f'--- expected\n{content}--- actual\n'
                                f'{shown(out)}{shown(err)}')
            pending_batch = None
    if pending_batch:
        failures.append(f'{pending_batch[0]}: batch block without an output block')
    return count, failures


def man_page_links():
    """Failures for documents the man page names that docs/ does not hold."""
    with open(os.path.join(ROOT, 'man', 'qorvantel.1'), encoding='utf-8') as f:
        named = re.findall(r'/usr/share/doc/qorvantel/([\w.-]+\.md)', f.read())
    return [f'man/qorvantel.1: names {name}, which docs/ does not hold'
            for name in named
            if name != 'README.md' and not os.path.exists(os.path.join(ROOT, 'docs', name))]


def main():
    program = os.path.abspath(sys.argv[1])
    paths = sorted(glob.glob(os.path.join(ROOT, 'docs', '*.md')) +
                   glob.glob(os.path.join(ROOT, 'examples', '*.md')))
    total, failures = 0, man_page_links()
    with tempfile.TemporaryDirectory() as directory:
        for path in paths:
            count, file_failures = check_file(program, path, directory)
            total += count
            failures += file_failures
            if count == 0:
                failures.append(f'{os.path.relpath(path, ROOT)}: no checked examples')
    for failure in failures:
        print('FAIL ' + failure)
    print(f'{total} examples run, {len(failures)} failed')
    return 1 if failures or total == 0 else 0


if __name__ == '__main__':
    sys.exit(main())
