"""What tests in every folder share. Being here, this file also puts tests/ on the import path
(pytest's default import mode), so that tests in any folder can share system_modules."""
import dataclasses
import gc
import os
import sys

import pytest


@dataclasses.dataclass(frozen=True)
class NativeBuild:
    """How a test builds and runs C++ of its own.

    Under `make sanitize` (CORVANE_SANITIZE=1) the interpreter runs with the sanitizer runtime
    preloaded; the C++ a test builds gets the same sanitizers, and the compilers and build
    tools run without the preload (they are not built for it, and its leak check would fail
    the compiler itself), while the programs they build link the runtime on their own."""
    sanitize: bool
    flags: tuple
    environment: dict


@pytest.fixture
def native_build():
    sanitize = os.environ.get("CORVANE_SANITIZE") == "1"
    flags = ("-fsanitize=address,undefined", "-fno-sanitize-recover=all",
             "-fno-omit-frame-pointer", "-g") if sanitize else ()
    environment = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
    return NativeBuild(sanitize, flags, environment)


# A COM interface released or used after its thread left COM is undefined behaviour on
# Windows; the emulator reports each one on stderr as pywin32 does. Child processes the tests
# start end with an error when they made such a report (set before any of them starts).
os.environ["CORVANE_EMULATOR_STRICT_LIFETIME"] = "1"


def _lifetime_faults():
    emulator = sys.modules.get("_cqgemu")  # nothing to count where the emulator never loaded
    return emulator.lifetime_fault_count() if emulator is not None else 0


def pytest_unconfigure(config):
    # This process's faults were each reported by the test that made them.
    os.environ.pop("CORVANE_EMULATOR_STRICT_LIFETIME", None)


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "lifetime_faults(count): the test provokes that many uses or releases of an "
        "interface after CoUninitialize on purpose (without a count: at least one)")


@pytest.fixture(autouse=True)
def no_interface_outlives_its_apartment(request):
    """Fails a test during which an interface was released or used after its thread called
    CoUninitialize ("Win32 exception occurred releasing IUnknown" on stderr), unless the test
    says it provokes them."""
    marker = request.node.get_closest_marker("lifetime_faults")
    expected = (marker.args[0] if marker.args else None) if marker else 0
    before = _lifetime_faults()
    yield
    gc.collect(1)  # what the test left in (young) reference cycles is released within it
    made = _lifetime_faults() - before
    if made != expected and not (expected is None and made > 0):
        pytest.fail(f"{made} COM interface(s) released or used after their thread called "
                    f"CoUninitialize (see stderr), {expected} expected", pytrace=False)
