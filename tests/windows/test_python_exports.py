"""The list of names python311.dll exports is read from CPython's headers as the Windows
preprocessor leaves them; a name misread there would let a module through that Windows
cannot load, or stop one that is fine. The names a built module imports and exports are read
from objdump's report."""
import pathlib
import shutil
import subprocess
import sys
import sysconfig

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools" / "windows"))

import python_exports  # noqa: E402

# What mingw's preprocessor makes of Python's declarations (PyAPI_FUNC and PyAPI_DATA),
# between line markers naming the header each line came from.
PREPROCESSED = """\
# 1 "/py/include/Python.h"
__attribute__((dllimport)) PyObject * PyDict_New(void);
__attribute__((dllimport)) PyObject *
_PyDict_GetItem_KnownHash(PyObject *mp, PyObject *key,
                          Py_hash_t hash);
__attribute__((dllimport)) int Py_AtExit(void (*func)(void));
extern __attribute__((dllimport)) PyTypeObject PyType_Type;
extern __attribute__((dllimport)) const unsigned char _Py_ctype_tolower[256];
extern __attribute__((dllimport)) int (*PyOS_InputHook)(void);
extern __attribute__((dllimport)) char *(*PyOS_ReadlineFunctionPointer)(FILE *, FILE *, const char *);
extern __attribute__((dllimport)) char* Py_GETENV(const char *name);
__attribute__((__deprecated__)) __attribute__((dllimport)) int PyOld_Call(int);
__attribute__((dllimport)) void __attribute__((__noreturn__)) _Py_FatalErrorFunc(
    const char *func, const char *message);
static inline int Py_Inline(PyObject *op) { return PyDict_Check(op); }
# 12 "/usr/share/mingw-w64/include/stdio.h"
__attribute__((dllimport)) int __cdecl _fileno(FILE *_File);
# 40 "/py/include/object.h"
extern __attribute__((dllimport)) PyObject _Py_NoneStruct;
"""


def test_functions_and_data_declared_in_pythons_headers_are_read():
    exported = python_exports.declared_exports(
        python_exports.lines_from(PREPROCESSED, "/py/include/"))
    assert exported == {
        "PyDict_New": False, "_PyDict_GetItem_KnownHash": False, "Py_AtExit": False,
        "PyType_Type": True, "_Py_ctype_tolower": True, "PyOS_InputHook": True,
        "PyOS_ReadlineFunctionPointer": True,
        # Declared as data by the headers, but a function in the DLL.
        "Py_GETENV": False,
        "PyOld_Call": False, "_Py_FatalErrorFunc": False, "_Py_NoneStruct": True,
    }


def test_def_file_marks_data():
    text = python_exports.def_file({"PyType_Type": True, "PyDict_New": False})
    assert text == "LIBRARY python311.dll\nEXPORTS\n    PyDict_New\n    PyType_Type DATA\n"


OBJDUMP = """\
The Import Tables (interpreted .idata section contents)
 vma:            Hint    Time      Forward  DLL       First
                 Table   Stamp     Chain    Name      Thunk
 00066000       00066118 00000000 00000000 00066d58 00066448

\tDLL Name: KERNEL32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t65778\t  282  DeleteCriticalSection

\tDLL Name: python311.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t65938\t   11  PyBaseObject_Type
\t6594c\t   19  PyBuffer_Release

\t00066120\t00000000\t00000000\t00000000\t00000000

The Export Tables (interpreted .edata section contents)

[Ordinal/Name Pointer] Table
\t[   0] PyInit_security
\t[   1] _ZN8nanobind12python_error7restoreEv

The Function Table (interpreted .pdata section contents)
"""


def test_objdump_report_gives_imports_by_dll_and_exports():
    assert python_exports.pe_imports(OBJDUMP) == {
        "kernel32.dll": {"DeleteCriticalSection"},
        "python311.dll": {"PyBaseObject_Type", "PyBuffer_Release"},
    }
    assert python_exports.pe_exports(OBJDUMP) == {
        "PyInit_security", "_ZN8nanobind12python_error7restoreEv"}


MINGW = "x86_64-w64-mingw32-gcc-posix"


@pytest.mark.skipif(shutil.which(MINGW) is None, reason="mingw-w64 is not installed")
def test_real_headers_export_what_our_modules_rely_on_and_not_the_internal_ones(
        tmp_path, native_build):
    include = tmp_path / "include"
    shutil.copytree(sysconfig.get_paths()["include"], include,
                    ignore=shutil.ignore_patterns("pyconfig.h"))
    shutil.copy(ROOT / "tools" / "windows" / "pyconfig.h", include / "pyconfig.h")
    source = tmp_path / "all.c"
    source.write_text("#include <Python.h>\n#include <structmember.h>\n")
    # The compiler runs without the sanitizer runtime `make sanitize` preloads.
    preprocessed = subprocess.run([MINGW, "-E", "-DMS_WIN64", f"-I{include}", source],
                                  capture_output=True, text=True, check=True,
                                  env=native_build.environment).stdout
    exported = python_exports.declared_exports(
        python_exports.lines_from(preprocessed, f"{include}/"))
    for private in ("_PyDict_GetItem_KnownHash", "_PyDict_SetItem_KnownHash",
                    "_PyType_Lookup", "_PyObject_GC_New"):
        assert exported[private] is False
    assert exported["_Py_NoneStruct"] is True and exported["PyExc_TypeError"] is True
    # Declared only in the internal headers (no PyAPI_FUNC): not exported by the DLL.
    assert "_PyDict_Pop_KnownHash" not in exported
    # Declared only where fork() exists.
    assert "PyOS_AfterFork_Child" not in exported


@pytest.mark.skipif(shutil.which(MINGW) is None, reason="mingw-w64 is not installed")
def test_pyconfig_refuses_a_32_bit_description(tmp_path, native_build):
    source = tmp_path / "t.c"
    source.write_text('#include "pyconfig.h"\n')
    result = subprocess.run([MINGW, "-fsyntax-only", f"-I{ROOT / 'tools' / 'windows'}", source],
                            capture_output=True, text=True, env=native_build.environment)
    assert result.returncode != 0 and "compile with -DMS_WIN64" in result.stderr
