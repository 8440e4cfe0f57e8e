"""What the Python tests share: the package assembled from python/qorvantel
and the module that ctest built (QORVANTEL_PYTHON_CORE, set by
tests/CMakeLists.txt when QORVANTEL_PYTHON is on), put first on sys.path
and on PYTHONPATH for the processes a test starts. Without the module the
test says so and exits 77 (skipped)."""
import atexit
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SKIPPED = 77


def use_package():
    core = os.environ.get('QORVANTEL_PYTHON_CORE')
    if not core or not os.path.exists(core):
        print('skipped: the Python module was not built (cmake -DQORVANTEL_PYTHON=ON)')
        sys.exit(SKIPPED)
    top = tempfile.mkdtemp(prefix='qorvantel-python-')
    atexit.register(shutil.rmtree, top, True)
    package = os.path.join(top, 'qorvantel')
    os.mkdir(package)
    source = os.path.join(ROOT, 'python', 'qorvantel')
    for name in os.listdir(source):
        if name.endswith('.py'):
            os.symlink(os.path.join(source, name), os.path.join(package, name))
    os.symlink(core, os.path.join(package, os.path.basename(core)))
    sys.path.insert(0, top)
    os.environ['PYTHONPATH'] = top + os.pathsep + os.environ.get('PYTHONPATH', '')
    return top
