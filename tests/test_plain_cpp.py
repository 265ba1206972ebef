"""The plain C++ pieces, built and checked on their own (no Python objects) with the
venv's cmake: tests/native/plain/ is a small CMake project whose tests ctest runs."""
import pathlib
import shutil
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[1]
PROJECT = ROOT / "tests" / "native" / "plain"
BUILD = ROOT / "build" / "plain-checks"

pytestmark = pytest.mark.timeout(600)


def tool(name):
    beside = pathlib.Path(sys.executable).parent / name
    found = shutil.which(name, path=str(beside.parent)) or shutil.which(name)
    if found is None:
        pytest.skip(f"no {name} on this host")
    return found


def run(*command):
    result = subprocess.run(command, capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr


def test_plain_cpp_checks():
    cmake, ctest = tool("cmake"), tool("ctest")
    configure = [cmake, "-S", str(PROJECT), "-B", str(BUILD), "-DCMAKE_BUILD_TYPE=Release"]
    if not (BUILD / "CMakeCache.txt").exists() and shutil.which("ninja", path=str(pathlib.Path(sys.executable).parent)):
        configure += ["-G", "Ninja"]
    run(*configure)
    run(cmake, "--build", str(BUILD), "--config", "Release")
    run(ctest, "--test-dir", str(BUILD), "-C", "Release", "--output-on-failure")
