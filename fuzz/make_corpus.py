#!/usr/bin/env python3
"""Builds the starting corpora of the fuzz targets from the golden cases.

Usage: make_corpus.py OUTPUT_DIR [CASES_FILE...]

Writes OUTPUT_DIR/batch and OUTPUT_DIR/interactive, one file per input named
by its SHA-1, so running it again adds nothing twice. Without CASES_FILE
arguments it reads every tests/golden/*.cases.

- batch: every standard input and every file that a case creates, since a
  batch input and an environment file share one grammar.
- interactive: the input format of interactive_fuzzer, environment text, a
  NUL byte, console lines. Interactive cases give their environment file and
  standard input; every batch input gives its environment part (the lines
  after the first) and its first line as the console.
"""
import glob
import hashlib
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN = os.path.join(HERE, '..', 'tests', 'golden')
sys.path.insert(0, GOLDEN)

import run_golden  # noqa: E402  (the one parser of the .cases format)


def store(directory, data):
    os.makedirs(directory, exist_ok=True)
    path = os.path.join(directory, hashlib.sha1(data).hexdigest())
    if not os.path.exists(path):
        with open(path, 'wb') as f:
            f.write(data)
        return 1
    return 0


def inputs_of(case):
    """(kind, bytes) pairs for one case."""
    files = {}
    stdin = b''
    for section in case['sections']:
        content = run_golden.decode(section['content'], section['options'])
        if section['kind'] == 'file':
            files[section['arg']] = content
        elif section['kind'] == 'stdin':
            stdin = content
    found = [('batch', data) for data in files.values()]
    if stdin:
        found.append(('batch', stdin))
    if len(case['args']) == 1:
        found.append(('interactive', files.get(case['args'][0], b'') + b'\0' + stdin))
    for kind, data in list(found):
        if kind == 'batch' and data:
            first, _, rest = data.partition(b'\n')
            found.append(('interactive', rest + b'\0' + first + b'\n'))
    return found


def main():
    if len(sys.argv) < 2:
        raise SystemExit('usage: make_corpus.py OUTPUT_DIR [CASES_FILE...]')
    output = sys.argv[1]
    paths = sys.argv[2:] or sorted(glob.glob(os.path.join(GOLDEN, '*.cases')))
    added = {'batch': 0, 'interactive': 0}
    for path in paths:
        for case in run_golden.parse_cases(path):
            for kind, data in inputs_of(case):
                added[kind] += store(os.path.join(output, kind), data)
    print(f'corpus: {added["batch"]} batch and {added["interactive"]} interactive inputs added '
          f'from {len(paths)} case file(s)')


if __name__ == '__main__':
    main()
