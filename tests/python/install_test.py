#!/usr/bin/env python3
"""The README's install line for the module, from a copy of the source
tree: a virtual environment of Debian's Python
(/usr/bin/python3 -m venv --system-site-packages) and
pip install --no-build-isolation . (no package index), then the installed
package, run from outside the tree, evaluates a query and loads its magics.

Usage: install_test.py PROGRAM (ignored). Skipped (77) without the module's
build tools (python3-pybind11, python3-setuptools, python3-wheel,
python3-venv, python3-dev).
"""
import os
import shutil
import subprocess
import sys
import tempfile

from python_support import ROOT, SKIPPED

PYTHON = '/usr/bin/python3'
CHECK = r'''
import qorvantel, sys
env = qorvantel.Environment.from_file(sys.argv[1])
result = env.evaluate('project(select(Sailor, GT(rating, 7)), sname)')
assert result.rows == [('Andy',), ('Horatio',), ('Lubber',), ('Rusty',), ('Zorba',)], result.rows
assert not qorvantel.__file__.startswith(sys.argv[2]), qorvantel.__file__
import qorvantel.magics
print('ok', qorvantel.__file__)
'''


def main():
    needed = subprocess.run([PYTHON, '-c', 'import pybind11, setuptools, wheel, venv, sysconfig, os; '
                             'assert os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h"))'],
                            capture_output=True)
    if needed.returncode != 0:
        print('skipped: the module\'s build tools are missing (Debian: python3-pybind11 python3-setuptools '
              'python3-wheel python3-venv python3-dev)')
        return SKIPPED
    with tempfile.TemporaryDirectory(prefix='qorvantel-install-') as work:
        source = os.path.join(work, 'source')
        shutil.copytree(ROOT, source, ignore=shutil.ignore_patterns(
            '.git', 'build*', 'node_modules', '*.so', '*.egg-info', '__pycache__', 'corpus*', 'dist', 'artifacts'))
        venv = os.path.join(work, 'venv')
        subprocess.run([PYTHON, '-m', 'venv', '--system-site-packages', venv], check=True)
        env = dict(os.environ, CMAKE_BUILD_PARALLEL_LEVEL='2', PIP_NO_INDEX='1')
        env.pop('PYTHONPATH', None)
        done = subprocess.run([os.path.join(venv, 'bin', 'pip'), 'install', '--no-build-isolation', '.'], cwd=source,
                              env=env, capture_output=True, text=True, timeout=1500)
        if done.returncode != 0:
            print('FAIL pip install:\n' + done.stdout[-3000:] + done.stderr[-3000:])
            return 1
        ran = subprocess.run([os.path.join(venv, 'bin', 'python'), '-c', CHECK,
                              os.path.join(ROOT, 'examples', 'sailors.env'), source], cwd=work, env=env,
                             capture_output=True, text=True, timeout=120)
        print(ran.stdout.strip())
        if ran.returncode != 0:
            print('FAIL the installed package:\n' + ran.stderr[-3000:])
            return 1
    print('1 passed, 0 failed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
