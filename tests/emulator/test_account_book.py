"""The account book is plain C++: built and checked here on its own, without Python objects."""
import pathlib
import shutil
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
CORE = ROOT / "emulator" / "core"
SOURCES = [ROOT / "tests" / "native" / "account_book_check.cpp", CORE / "account_book.cpp",
           CORE / "cqg_constants.cpp"]

pytestmark = pytest.mark.timeout(300)


def test_the_account_book_on_its_own(tmp_path, native_build):
    compiler = shutil.which("c++") or shutil.which("g++") or shutil.which("clang++")
    if compiler is None:
        pytest.skip("no C++ compiler on this host")
    program = tmp_path / "account_book_check"
    subprocess.run([compiler, "-std=c++17", "-Wall", "-Werror", *native_build.flags, "-I",
                    str(CORE), *map(str, SOURCES), "-o", str(program)], check=True,
                   env=native_build.environment)
    result = subprocess.run([str(program)], capture_output=True, text=True,
                            env=native_build.environment)
    assert result.returncode == 0, result.stdout
