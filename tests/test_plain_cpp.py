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


def run(environment, *command):
    result = subprocess.run(command, capture_output=True, text=True, env=environment)
    assert result.returncode == 0, result.stdout + result.stderr


def test_plain_cpp_checks(native_build):
    cmake, ctest = tool("cmake"), tool("ctest")
    # The sanitizer build keeps its own folder, so neither build undoes the other.
    build = BUILD.parent / "sanitize" / BUILD.name if native_build.sanitize else BUILD
    configure = [cmake, "-S", str(PROJECT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                 f"-DCORVANE_SANITIZE={'ON' if native_build.sanitize else 'OFF'}"]
    if not (build / "CMakeCache.txt").exists() and shutil.which("ninja", path=str(pathlib.Path(sys.executable).parent)):
        configure += ["-G", "Ninja"]
    environment = native_build.environment
    run(environment, *configure)
    run(environment, cmake, "--build", str(build), "--config", "Release")
    run(environment, ctest, "--test-dir", str(build), "-C", "Release", "--output-on-failure")
