"""Cross-compiles the five system modules, pyglue and nanobind for 64-bit Windows with mingw-w64
through the project's own CMake build, and checks what MSVC would refuse.

    python tools/windows/cross_check.py [--build-dir build/windows]

Run with the Python 3.11 that builds corvane (its headers are the ones compiled against;
the Makefile passes the venv's). Steps, each failing the run:
  1. the portability lint over our sources (portability_lint.py);
  2. mingw-w64 installed with apt-get when missing (as root; otherwise it says what to
     install);
  3. Python 3.11's headers staged with our Windows pyconfig.h, and an import library for
     python311.dll made from the names those headers declare exported (python_exports.py);
  4. the type sizes of 64-bit Windows asserted against the staged headers;
  5. CMake with tools/windows/mingw-w64-x86_64.cmake, building the product's modules;
  6. each module exports PyInit_<name>, and imports from python311.dll only names it
     exports.
What this proves: the sources compile and link for Windows x64 and use only CPython names
python311.dll exports. What it does not: that MSVC compiles them, or anything at run time.
"""
from __future__ import annotations

import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import sysconfig
import time

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parents[1]
sys.path.insert(0, str(HERE))

import portability_lint  # noqa: E402
import python_exports  # noqa: E402

TRIPLET = "x86_64-w64-mingw32"
TOOLS = {
    f"{TRIPLET}-g++-posix": "g++-mingw-w64-x86-64-posix",
    f"{TRIPLET}-gcc-posix": "gcc-mingw-w64-x86-64-posix",
    f"{TRIPLET}-dlltool": "binutils-mingw-w64-x86-64",
    f"{TRIPLET}-objdump": "binutils-mingw-w64-x86-64",
}
MODULES = ["security", "ComBridge", "gatelink", "bot", "db"]
PYTHON_DLL = "python311.dll"
# Public headers that declare no exports or need other libraries' headers.
SKIPPED_HEADERS = {"pyconfig.h", "py_curses.h"}
TYPE_SIZES = """\
#include <Python.h>
#include <cstdint>
static_assert(sizeof(Py_ssize_t) == 8, "Py_ssize_t must be 64 bits");
static_assert(sizeof(Py_hash_t) == 8, "Py_hash_t must be 64 bits");
static_assert(sizeof(void *) == 8, "pointers must be 64 bits");
static_assert(sizeof(long) == 4, "long is 32 bits on Windows");
static_assert(sizeof(wchar_t) == 2, "wchar_t is 16 bits on Windows");
static_assert(sizeof(PyObject) == 16, "PyObject is a count and a type pointer");
static_assert(PY_SSIZE_T_MAX == INT64_MAX, "Py_ssize_t must reach 2**63 - 1");
"""


class CheckFailed(Exception):
    pass


def run(command, what=None, **kwargs) -> subprocess.CompletedProcess:
    print("+", " ".join(str(part) for part in command), flush=True)
    result = subprocess.run([str(part) for part in command], **kwargs)
    if result.returncode != 0:
        raise CheckFailed(f"{what or command[0]} failed (exit status {result.returncode})")
    return result


def ensure_tools() -> None:
    missing = sorted({package for tool, package in TOOLS.items() if not shutil.which(tool)})
    if not missing:
        return
    if os.geteuid() != 0:
        raise CheckFailed("mingw-w64 is missing; install it with: "
                          f"sudo apt-get install {' '.join(missing)}")
    environment = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    install = ["apt-get", "install", "-y", "-q", "--no-install-recommends", *missing]
    print("+", " ".join(install), flush=True)
    if subprocess.run(install, env=environment).returncode != 0:
        # Package lists never fetched on this machine, or out of date.
        run(["apt-get", "update", "-q"], env=environment)
        run(install, env=environment)


def stage_python(folder: pathlib.Path) -> tuple[pathlib.Path, set[str]]:
    """Python 3.11's headers with our pyconfig.h, and python311.dll's import library; and
    the names it exports."""
    headers = pathlib.Path(sysconfig.get_paths()["include"])
    if sys.version_info[:2] != (3, 11):
        raise CheckFailed(f"run this with Python 3.11 (its headers), not {sys.version}")
    include = folder / "include"
    # Copied with their times, so that a second run rebuilds nothing they did not change.
    shutil.copytree(headers, include, ignore=shutil.ignore_patterns("pyconfig.h"),
                    dirs_exist_ok=True)
    shutil.copy2(HERE / "pyconfig.h", include / "pyconfig.h")

    every_header = folder / "every_header.c"
    every_header.write_text("".join(
        f"#include <{header.name}>\n" for header in sorted(include.glob("*.h"))
        if header.name not in SKIPPED_HEADERS))
    preprocessed = run([f"{TRIPLET}-gcc-posix", "-E", "-DMS_WIN64", f"-I{include}",
                        every_header], capture_output=True, text=True).stdout
    exports = python_exports.declared_exports(
        python_exports.lines_from(preprocessed, f"{include}/"))
    definition = folder / "python311.def"
    import_library = folder / "libpython311.dll.a"
    text = python_exports.def_file(exports, PYTHON_DLL)
    if not import_library.exists() or not definition.exists() or \
            definition.read_text() != text:
        definition.write_text(text)
        run([f"{TRIPLET}-dlltool", "-d", definition, "-D", PYTHON_DLL, "-l", import_library])
    # CMake's Python look-up wants the DLL beside its import library to treat it as a
    # shared one (and not add the build interpreter's own link libraries); only its name
    # is used.
    (folder / PYTHON_DLL).touch()
    print(f"python311.dll: {len(exports)} names declared exported by Python "
          f"{sys.version.split()[0]}'s headers")

    sizes = folder / "type_sizes.cpp"
    sizes.write_text(TYPE_SIZES)
    run([f"{TRIPLET}-g++-posix", "-std=c++17", "-DMS_WIN64", f"-I{include}", "-fsyntax-only",
         sizes], "the type sizes of 64-bit Windows")
    return folder, set(exports)


def build(python: pathlib.Path, build_dir: pathlib.Path) -> pathlib.Path:
    configure = [
        "cmake", "-S", ROOT, "-B", build_dir, "-G", "Ninja",
        f"-DCMAKE_TOOLCHAIN_FILE={HERE / 'mingw-w64-x86_64.cmake'}",
        "-DCMAKE_BUILD_TYPE=Release",
        f"-DPython_EXECUTABLE={sys.executable}",
        f"-DPython_INCLUDE_DIR={python / 'include'}",
        f"-DPython_LIBRARY={python / 'libpython311.dll.a'}",
        "-DCORVANE_TEST_MODULES=OFF",
    ]
    run(configure, "CMake's configure step")
    run(["cmake", "--build", build_dir, "--target", "product_modules"],
        "the Windows build (a compile or link error above)")
    return build_dir


def check_modules(build_dir: pathlib.Path, exported: set[str]) -> None:
    problems = []
    used = set()
    for name in MODULES:
        found = list(build_dir.rglob(f"{name}.cp311-win_amd64.pyd"))
        if len(found) != 1:
            problems.append(f"{name}: expected one {name}.cp311-win_amd64.pyd, found {found}")
            continue
        headers = run([f"{TRIPLET}-objdump", "-p", found[0]], capture_output=True,
                      text=True).stdout
        if f"PyInit_{name}" not in python_exports.pe_exports(headers):
            problems.append(f"{name}: does not export PyInit_{name}")
        imports = python_exports.pe_imports(headers)
        from_python = imports.get(PYTHON_DLL, set())
        used |= from_python
        for missing in sorted(from_python - exported):
            problems.append(f"{name}: imports {missing}, which python311.dll does not export")
        print(f"{name}: {len(from_python)} names from python311.dll; "
              f"DLLs {', '.join(sorted(imports))}")
    if problems:
        raise CheckFailed("\n".join(problems))
    print(f"all {len(MODULES)} modules link; {len(used)} CPython names used, "
          "all exported by python311.dll")


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", type=pathlib.Path, default=ROOT / "build" / "windows")
    args = parser.parse_args(argv)
    started = time.monotonic()
    # CMake and Ninja come with the build tools, beside the interpreter running this.
    os.environ["PATH"] = f"{pathlib.Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}"
    try:
        findings = portability_lint.lint(ROOT)
        if findings:
            raise CheckFailed("\n".join(findings))
        print("portability lint: clean")
        ensure_tools()
        build_dir = args.build_dir.resolve()
        python, exported = stage_python(build_dir / "python")
        check_modules(build(python, build_dir / "cmake"), exported)
    except CheckFailed as failure:
        print(f"windows check FAILED:\n{failure}", file=sys.stderr)
        return 1
    print(f"windows check passed in {time.monotonic() - started:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
