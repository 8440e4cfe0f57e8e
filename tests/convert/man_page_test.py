#!/usr/bin/env python3
"""Checks the man page of qorvantel-convert: groff finds nothing to warn
about, and every command and option of the program's --help is documented
in it.

Usage: man_page_test.py PROGRAM (qorvantel; qorvantel-convert is found next to it)
"""
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PAGE = os.path.join(os.path.dirname(os.path.dirname(HERE)), 'man', 'qorvantel-convert.1')


def main():
    convert = os.path.join(os.path.dirname(os.path.abspath(sys.argv[1])), 'qorvantel-convert')
    problems = []
    if shutil.which('groff'):
        run = subprocess.run(['groff', '-ww', '-z', '-man', PAGE], capture_output=True, text=True)
        if run.returncode != 0 or run.stderr:
            problems.append('groff: ' + run.stderr)
    else:
        problems.append('groff is not installed (Debian: groff)')
    with open(PAGE, encoding='utf-8') as f:
        page = f.read().replace('\\-', '-').replace('\\fR', '').replace('\\fB', '')
    help_text = subprocess.run([convert, '--help'], capture_output=True, text=True, check=True).stdout
    words = set(re.findall(r'\b(?:from|to)-[a-z]+\b', help_text)) | set(re.findall(r'--[a-z]+', help_text))
    for word in sorted(words):
        if word not in page:
            problems.append(f'{word} is in --help but not in the man page')
    for problem in problems:
        print('FAIL ' + problem)
    print(f'{len(words)} commands and options checked, {len(problems)} problems')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
