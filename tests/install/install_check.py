#!/usr/bin/env python3
"""Checks what `cmake --install` and `cpack -G DEB` deliver, and the man page.

usage: install_check.py install CMAKE BUILD_DIR
       install_check.py package CPACK BUILD_DIR
       install_check.py man SOURCE_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile

# The files a user relies on after installing, relative to the prefix.
INSTALLED = [
    'bin/qorvantel',
    'share/man/man1/qorvantel.1',
    'bin/qorvantel-check',
    'share/man/man1/qorvantel-check.1',
    'share/doc/qorvantel/checking.md',
    'share/doc/qorvantel/examples/sailors.exercises',
    'share/doc/qorvantel/manual.md',
    'share/doc/qorvantel/LICENSE',
    'share/doc/qorvantel/README.md',
    'share/doc/qorvantel/examples/university.env',
    'share/doc/qorvantel/examples/university.txt',
]

UNIVERSITY_RESULT = b"""(name char(24), course char(8))
'Ada Lovelace', 'ALG201'
'Ada Lovelace', 'DB101'
'Alan Turing', 'ALG201'
'Barbara Liskov', 'PL301'
'Edsger Dijkstra', 'ALG201'
'Grace Hopper', 'DB101'
'Grace Hopper', 'PL301'

"""


def fail(message):
    print('FAIL ' + message)
    sys.exit(1)


def check_install(cmake, build):
    with tempfile.TemporaryDirectory() as prefix:
        run = subprocess.run([cmake, '--install', build, '--prefix', prefix],
                             capture_output=True, text=True)
        if run.returncode != 0:
            fail('cmake --install: ' + run.stdout + run.stderr)
        missing = [f for f in INSTALLED if not os.path.isfile(os.path.join(prefix, f))]
        if missing:
            fail('not installed: ' + ', '.join(missing))
        if not os.access(os.path.join(prefix, 'bin/qorvantel'), os.X_OK):
            fail('bin/qorvantel is not executable')
        # The installed program answers the installed example request.
        examples = os.path.join(prefix, 'share/doc/qorvantel/examples')
        with open(os.path.join(examples, 'university.txt'), 'rb') as request:
            text = request.read()
        run = subprocess.run([os.path.join(prefix, 'bin/qorvantel')], input=text,
                             capture_output=True)
        if run.returncode != 0 or run.stdout != text + UNIVERSITY_RESULT:
            fail(f'installed program on university.txt: status {run.returncode}\n'
                 + run.stdout.decode('latin-1'))
        # And it opens an installed example database interactively.
        run = subprocess.run([os.path.join(prefix, 'bin/qorvantel'),
                              os.path.join(examples, 'university.env')],
                             input=b'project(Teacher, course)\n', capture_output=True)
        expected = b"$Teacher(course char(8))\n'ALG201'\n'DB101'\n'PL301'\n\n$\n"
        if run.returncode != 0 or run.stdout != expected:
            fail('installed program on university.env:\n' + run.stdout.decode('latin-1'))


def check_package(cpack, build):
    with tempfile.TemporaryDirectory() as out:
        run = subprocess.run([cpack, '-G', 'DEB', '-B', out], cwd=build,
                             capture_output=True, text=True)
        if run.returncode != 0:
            fail('cpack: ' + run.stdout + run.stderr)
        debs = [f for f in os.listdir(out) if f.endswith('.deb')]
        if len(debs) != 1:
            fail(f'expected one .deb, found {debs}')
        deb = os.path.join(out, debs[0])

        def field(name):
            return subprocess.run(['dpkg-deb', '-f', deb, name], capture_output=True,
                                  text=True).stdout.strip()
        if field('Package') != 'qorvantel':
            fail('package name ' + field('Package'))
        for name in ('Version', 'Maintainer', 'Description'):
            if not field(name):
                fail(f'no {name} field')
        # Dependencies come from the binary's shared libraries.
        if 'libc6' not in field('Depends') or 'libstdc++6' not in field('Depends'):
            fail('Depends: ' + field('Depends'))
        contents = subprocess.run(['dpkg-deb', '-c', deb], capture_output=True,
                                  text=True).stdout
        for f in INSTALLED:
            if './usr/' + f not in contents:
                fail(f'{f} not in the package')


def check_man(source):
    page = os.path.join(source, 'man/qorvantel.1')
    # groff with every warning on, then man's own check, whichever is present.
    if shutil.which('groff'):
        run = subprocess.run(['groff', '-ww', '-z', '-man', page], capture_output=True,
                             text=True)
        if run.returncode != 0 or run.stderr:
            fail('groff: ' + run.stderr)
    if shutil.which('man'):
        run = subprocess.run(['man', '--warnings', '-l', page], capture_output=True,
                             text=True, env=dict(os.environ, MANPAGER='cat', MANWIDTH='80'))
        if run.returncode != 0 or run.stderr:
            fail('man: ' + run.stderr)
        for heading in ('SYNOPSIS', 'DESCRIPTION', 'EXIT STATUS', 'EXAMPLES'):
            if heading not in run.stdout:
                fail(f'no {heading} section')
    if not shutil.which('groff') and not shutil.which('man'):
        fail('neither groff nor man is installed')


def main():
    mode, *args = sys.argv[1:]
    {'install': check_install, 'package': check_package, 'man': check_man}[mode](*args)
    print('passed')


if __name__ == '__main__':
    main()
