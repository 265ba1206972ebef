"""The sanitizer run itself: its leak check must survive what the libraries we load do.

A process under `make sanitize` whose thread has a dynamic TLS block 16 bytes into a page (a
dlopen'ed library's thread_local, as in pyarrow and other extension modules) used to end in "LeakSanitizer has encountered a
fatal error" at exit, though nothing leaked; the Makefile's sanitizer options prevent it."""
import os
import pathlib
import shutil
import subprocess
import sys
import textwrap

import pytest

SOURCE = pathlib.Path(__file__).resolve().parent / "native" / "dynamic_tls_block.c"

pytestmark = pytest.mark.skipif(os.environ.get("CORVANE_SANITIZE") != "1",
                                reason="only the sanitizer run preloads the runtime")

CHILD = textwrap.dedent("""
    import ctypes, sys
    library = ctypes.CDLL(sys.argv[1])
    library.place_tls_block_on_page_start.restype = ctypes.c_size_t
    print(library.place_tls_block_on_page_start() % 4096)
""")


def test_a_tls_block_on_a_page_start_leaves_the_leak_check_working(native_build, tmp_path):
    compiler = shutil.which(os.environ.get("CC", "cc"))
    if compiler is None:
        pytest.skip("no C compiler on this host")
    library = tmp_path / "libdynamic_tls_block.so"
    subprocess.run([compiler, "-shared", "-fPIC", "-O1", "-o", str(library), str(SOURCE)],
                   check=True, env=native_build.environment)

    environment = dict(os.environ)
    # The run's own options, with the quarantine off so that freed chunks come back at once,
    # and the report on stderr here instead of in the run's report folder.
    environment["ASAN_OPTIONS"] = (environment.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=0"
                                   ":thread_local_quarantine_size_kb=0:log_path=stderr")
    child = subprocess.run([sys.executable, "-c", CHILD, str(library)], capture_output=True,
                           text=True, env=environment, timeout=120)

    assert child.stdout.strip() == "16", (
        "the block did not land 16 bytes into a page, so this checks nothing:\n" + child.stdout)
    assert "LeakSanitizer has encountered a fatal error" not in child.stderr, child.stderr
    assert child.returncode == 0, child.stderr
