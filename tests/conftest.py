"""What tests in every folder share. Being here, this file also puts tests/ on the import path
(pytest's default import mode), so that tests in any folder can share system_modules."""
import dataclasses
import os

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
