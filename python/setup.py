"""Builds the package's extension module with the project's CMake build
(the one list of sources), offline: pybind11, NumPy and the compiler come
from the system, nothing is downloaded."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent


def project_version() -> str:
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(tarnovelix\s+VERSION\s+([0-9.]+)", text).group(1)


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    """Configures the project without its tests, builds the module and
    puts it where the wheel takes it."""

    def build_extension(self, ext):
        build_dir = ROOT / "build" / "wheel"
        jobs = os.environ.get("JOBS", "2")
        subprocess.run(
            ["cmake", "-S", str(ROOT), "-B", str(build_dir),
             "-DCMAKE_BUILD_TYPE=Release", "-DTNX_BUILD_TESTS=OFF",
             "-DTNX_BUILD_PYTHON=ON", "-DPython3_EXECUTABLE=" + sys.executable],
            check=True,
        )
        subprocess.run(
            ["cmake", "--build", str(build_dir), "--target", "_core", "-j", jobs],
            check=True,
        )
        built = next((build_dir / "python" / "tarnovelix").glob("_core*.so"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=project_version(),
    ext_modules=[CMakeExtension("tarnovelix._core")],
    cmdclass={"build_ext": CMakeBuild},
)
