"""The emulator's includes run one way down its layers (tools/check_layers.py): the real tree
passes, and an include planted against the order, files including each other round, or a file
outside the layers, is caught."""
import pathlib
import shutil
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
EMULATOR = ROOT / "emulator"
sys.path.insert(0, str(ROOT / "tools"))
import check_layers  # noqa: E402


def test_the_emulator_includes_follow_the_layer_order():
    result = subprocess.run([sys.executable, str(ROOT / "tools" / "check_layers.py")],
                            capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stdout == ""


@pytest.fixture
def emulator_copy(tmp_path):
    copy = tmp_path / "emulator"
    for layer in check_layers.LAYERS:
        shutil.copytree(EMULATOR / layer, copy / layer)
    assert check_layers.check(copy) == []
    return copy


def plant_include(file: pathlib.Path, include: str):
    text = file.read_text()
    file.write_text(f'#include "{include}"\n' + text)


@pytest.mark.parametrize("file, include, reported", [
    # The plain C++ reaching for the platform.
    ("market/price_walk.cpp", "platform/variant.hpp",
     "market/price_walk.cpp:1: includes platform/variant.hpp"),
    # The platform reading the world, by a path relative to the file.
    ("platform/interface.cpp", "../world/scenario.hpp",
     "platform/interface.cpp:1: includes world/scenario.hpp"),
    # A CQG object reaching for the world's clock from a header.
    ("cqg/cqg_order.hpp", "world/emulated_clock.hpp",
     "cqg/cqg_order.hpp:1: includes world/emulated_clock.hpp"),
])
def test_an_include_against_the_order_is_caught(emulator_copy, file, include, reported):
    plant_include(emulator_copy / file, include)
    problems = check_layers.check(emulator_copy)
    assert len(problems) == 1
    assert problems[0].startswith(reported)
    assert check_layers.main(["check_layers.py", str(emulator_copy)]) == 1


def test_an_include_down_the_order_passes(emulator_copy):
    plant_include(emulator_copy / "world" / "scenario.cpp", "cqg/cqgcel.hpp")
    plant_include(emulator_copy / "cqg" / "gateway.cpp", "market/market.hpp")
    assert check_layers.check(emulator_copy) == []


def test_files_including_each_other_are_caught(emulator_copy):
    # bar_history.hpp includes price_walk.hpp: within one layer, but round.
    plant_include(emulator_copy / "market" / "price_walk.cpp", "bar_history.hpp")
    assert check_layers.check(emulator_copy) == [
        "market/bar_history, market/price_walk: include each other"]


def test_a_file_outside_the_layers_is_caught(emulator_copy):
    stray = emulator_copy / "core" / "helper.cpp"
    stray.parent.mkdir()
    stray.write_text('#include "world/scenario.hpp"\n')
    assert check_layers.check(emulator_copy) == [
        "core/helper.cpp: outside the layer folders (market, platform, cqg, world)"]
