"""The bar repair is plain C++: built and checked here on its own, without Python objects."""
import pathlib
import shutil
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
GATELINK = ROOT / "src" / "corvane" / "gateways" / "cqg" / "wrapper" / "gatelink"

pytestmark = pytest.mark.timeout(300)


def test_the_bar_repair_on_its_own(tmp_path):
    compiler = shutil.which("c++") or shutil.which("g++") or shutil.which("clang++")
    if compiler is None:
        pytest.skip("no C++ compiler on this host")
    program = tmp_path / "bar_repair_check"
    subprocess.run([compiler, "-std=c++17", "-Wall", "-Werror", "-I", str(GATELINK),
                    str(ROOT / "tests" / "native" / "bar_repair_check.cpp"),
                    str(GATELINK / "bar_repair.cpp"), "-o", str(program)], check=True)
    result = subprocess.run([str(program)], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout
