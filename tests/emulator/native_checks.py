"""Building and running a plain C++ check of the emulator's core, without Python objects."""
import pathlib
import shutil
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
CORE = ROOT / "emulator" / "core"


def run_native_check(tmp_path, check_source, core_files):
    """Compiles tests/native/`check_source` with the named core files and runs it."""
    compiler = shutil.which("c++") or shutil.which("g++") or shutil.which("clang++")
    if compiler is None:
        pytest.skip("no C++ compiler on this host")
    sources = [ROOT / "tests" / "native" / check_source, *(CORE / f for f in core_files)]
    program = tmp_path / pathlib.Path(check_source).stem
    subprocess.run([compiler, "-std=c++17", "-Wall", "-Werror", "-I", str(CORE),
                    *map(str, sources), "-o", str(program)], check=True)
    result = subprocess.run([str(program)], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout
