"""Builds qorvantel._core through the project's CMake (QORVANTEL_PYTHON=ON,
tests off) and puts it in the package; the metadata is in pyproject.toml.

The build type and the parallel jobs follow CMAKE_BUILD_TYPE (Release) and
CMAKE_BUILD_PARALLEL_LEVEL (the processors) when set."""
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.path.join(os.path.abspath(self.build_temp), 'cmake')
        os.makedirs(build, exist_ok=True)
        build_type = os.environ.get('CMAKE_BUILD_TYPE', 'Release')
        subprocess.run(['cmake', '-S', ROOT, '-B', build, f'-DCMAKE_BUILD_TYPE={build_type}',
                        '-DQORVANTEL_TESTS=OFF', '-DQORVANTEL_PYTHON=ON',
                        f'-DPython3_EXECUTABLE={sys.executable}'], check=True)
        jobs = os.environ.get('CMAKE_BUILD_PARALLEL_LEVEL', str(os.cpu_count() or 1))
        subprocess.run(['cmake', '--build', build, '--target', 'qorvantel_python', '-j', jobs], check=True)
        built = os.path.join(build, 'src', 'python')
        module = next(name for name in os.listdir(built) if name.startswith('_core') and name.endswith('.so'))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(built, module), target)


setup(ext_modules=[Extension('qorvantel._core', sources=[])], cmdclass={'build_ext': CMakeBuild})
