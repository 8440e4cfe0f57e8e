#!/usr/bin/env python3
"""Checks what `cmake --install` and `cpack -G DEB` deliver, and the man page.

usage: install_check.py install CMAKE BUILD_DIR
       install_check.py package CPACK BUILD_DIR
       install_check.py lintian CPACK BUILD_DIR
       install_check.py man SOURCE_DIR

Environment: QORVANTEL_PROGRAMS, the programs installed, separated by ","
(default qorvantel); each has a man page. The lintian check exits 77,
skipped, when lintian is not installed.
"""
import gzip
import io
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile

SKIPPED = 77
PROGRAMS = [p for p in os.environ.get('QORVANTEL_PROGRAMS', 'qorvantel').split(',') if p]
PACKAGE_DOC = '/usr/share/doc/qorvantel'

# The files a user relies on after installing, relative to the prefix.
INSTALLED = [f'bin/{p}' for p in PROGRAMS] + [f'share/man/man1/{p}.1.gz' for p in PROGRAMS] + [
    'share/doc/qorvantel/checking.md',
    'share/doc/qorvantel/data.md',
    'share/doc/qorvantel/errors.md',
    'share/doc/qorvantel/examples/sailors.exercises',
    'share/doc/qorvantel/manual.md',
    'share/doc/qorvantel/copyright',
    'share/doc/qorvantel/changelog.gz',
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


def doc_mentions(page, doc):
    """The files under doc that a man page's text names."""
    return sorted(set(re.findall(re.escape(doc) + r'/[A-Za-z0-9_./-]*[A-Za-z0-9_]', page)))


def check_man_names(name, page, doc, exists):
    """A man page names the documentation where it was installed, and each
    file it names there exists."""
    if '/usr/share/doc/qorvantel' in page and doc != PACKAGE_DOC:
        fail(f'{name} names /usr/share/doc/qorvantel, not {doc}')
    mentioned = doc_mentions(page, doc)
    if not mentioned:
        fail(f'{name} does not name the documentation in {doc}')
    missing = [m for m in mentioned if not exists(m)]
    if missing:
        fail(f'{name} names files that are not installed: ' + ', '.join(missing))


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
        doc = os.path.join(prefix, 'share/doc/qorvantel')
        for program in PROGRAMS:
            with gzip.open(os.path.join(prefix, f'share/man/man1/{program}.1.gz'), 'rt') as page:
                check_man_names(f'{program}.1.gz', page.read(), doc, os.path.isfile)
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


def make_package(cpack, build, out):
    run = subprocess.run([cpack, '-G', 'DEB', '-B', out], cwd=build,
                         capture_output=True, text=True)
    if run.returncode != 0:
        fail('cpack: ' + run.stdout + run.stderr)
    debs = [f for f in os.listdir(out) if f.endswith('.deb')]
    if len(debs) != 1:
        fail(f'expected one .deb, found {debs}')
    return os.path.join(out, debs[0])


def package_files(deb):
    """The package's regular files, by path without the leading '.'."""
    data = subprocess.run(['dpkg-deb', '--fsys-tarfile', deb], capture_output=True).stdout
    files = {}
    with tarfile.open(fileobj=io.BytesIO(data)) as archive:
        for member in archive.getmembers():
            if member.isfile():
                files[member.name.lstrip('.')] = archive.extractfile(member).read()
    return files


def words(text):
    return ' '.join(text.split())


def check_package(cpack, build):
    with tempfile.TemporaryDirectory() as out:
        deb = make_package(cpack, build, out)

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
        files = package_files(deb)
        for program in PROGRAMS:
            page = gzip.decompress(files[f'/usr/share/man/man1/{program}.1.gz']).decode()
            check_man_names(f'{program}.1.gz in the package', page, PACKAGE_DOC,
                            lambda path: path in files)
        # The changelog's newest entry is this version; the copyright file
        # holds the license as the source has it.
        changelog = gzip.decompress(files[PACKAGE_DOC + '/changelog.gz']).decode()
        newest = re.match(r'qorvantel \(([^)]+)\)', changelog)
        if not newest or newest.group(1) != field('Version'):
            fail(f'changelog starts with {changelog[:40]!r}, package version {field("Version")}')
        copyright_text = files[PACKAGE_DOC + '/copyright'].decode()
        license_lines = [line[1:] if line != ' .' else '' for line in
                         copyright_text.split('License: Expat\n', 1)[-1].splitlines()]
        with open(os.path.join(os.path.dirname(__file__), '..', '..', 'LICENSE')) as f:
            license_text = f.read()
        if words('\n'.join(license_lines)) not in words(license_text):
            fail('the copyright file\'s license text differs from LICENSE')


def check_lintian(cpack, build):
    """lintian finds no error and no warning in the package."""
    if not shutil.which('lintian'):
        print('SKIP: lintian is not installed (apt-get install lintian)')
        sys.exit(SKIPPED)
    with tempfile.TemporaryDirectory() as out:
        deb = make_package(cpack, build, out)
        run = subprocess.run(['lintian', '--info', deb], capture_output=True, text=True)
        found = [line for line in run.stdout.splitlines() if line[:2] in ('E:', 'W:')]
        if found:
            fail('lintian:\n' + '\n'.join(found))
        if run.returncode != 0:
            fail(f'lintian exited {run.returncode}: ' + run.stdout + run.stderr)


def check_man(source):
    for program in PROGRAMS:
        check_man_page(os.path.join(source, f'man/{program}.1'))


def check_man_page(page):
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
                fail(f'{os.path.basename(page)}: no {heading} section')
    if not shutil.which('groff') and not shutil.which('man'):
        fail('neither groff nor man is installed')


def main():
    mode, *args = sys.argv[1:]
    {'install': check_install, 'package': check_package, 'lintian': check_lintian,
     'man': check_man}[mode](*args)
    print('passed')


if __name__ == '__main__':
    main()
