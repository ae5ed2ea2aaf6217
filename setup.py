# SPDX-License-Identifier: GPL-3.0-or-later
"""Builds the tavox package: the Python files of python/tavox and the
extension tavox._tavox, compiled by the project's CMake build (only the
tavox_python target, two jobs unless CMAKE_BUILD_PARALLEL_LEVEL says
otherwise, through ccache when it is installed). Metadata: pyproject.toml."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    """The version of the CMake project, so that both builds agree."""
    match = re.search(r"project\(tavox VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text())
    if not match:
        raise RuntimeError("CMakeLists.txt names no project version")
    return match.group(1)


class CMakeBuild(build_ext):
    """Configures the project for this interpreter and builds the extension."""

    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DTAVOX_BUILD_TESTS=OFF", "-DTAVOX_BUILD_BENCH=OFF", "-DTAVOX_BUILD_UI=OFF",
                     "-DTAVOX_BUILD_PYTHON=ON", "-DPython3_EXECUTABLE=" + sys.executable]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        if shutil.which("ccache"):
            configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", str(build), "--target", "tavox_python", "-j", jobs], check=True)
        built = sorted((build / "python" / "tavox").glob("_tavox*.so"))
        if not built:
            raise RuntimeError("the build made no tavox extension in " + str(build))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


setup(
    version=project_version(),
    ext_modules=[Extension("tavox._tavox", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Apart from the program's own build folders (build/ and the like).
    options={"build": {"build_base": "build-python"}, "egg_info": {"egg_base": "build-python"}},
)
