/* pyconfig.h for compiling extension modules against CPython 3.11 on 64-bit Windows.
 *
 * Only what an extension module's compile reads from it: the platform, the type sizes
 * of the x64 ABI (long is 32 bits there), and that python311.dll is a shared library
 * whose names are imported with __declspec(dllimport). CPython's own build settings
 * (HAVE_* of its configure step) do not matter outside the interpreter and are left
 * out, so that the headers take their Windows branches (no <unistd.h>, Windows threads).
 */
#ifndef CORVANE_WINDOWS_PYCONFIG_H
#define CORVANE_WINDOWS_PYCONFIG_H

#if !defined(_WIN64)
#  error "this pyconfig.h describes 64-bit Windows only"
#endif
/* The headers key their 64-bit branches on MS_WIN64, which MSVC's builds set; a cross
 * compiler must be given -DMS_WIN64, or they would describe a 32-bit target. */
#if !defined(MS_WIN64)
#  error "compile with -DMS_WIN64"
#endif

#define MS_WIN32
#define MS_WINDOWS
#define NT_THREADS
#define WITH_THREAD

#define Py_ENABLE_SHARED 1
#define HAVE_DECLSPEC_DLL

#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 4
#define SIZEOF_LONG_LONG 8
#define SIZEOF_DOUBLE 8
#define SIZEOF_FLOAT 4
#define SIZEOF_VOID_P 8
#define SIZEOF_SIZE_T 8
#define SIZEOF_TIME_T 8
#define SIZEOF_WCHAR_T 2
#define SIZEOF_OFF_T 4
#define SIZEOF_FPOS_T 8
#define SIZEOF__BOOL 1
#define ALIGNOF_SIZE_T 8
#define ALIGNOF_LONG 4

#define HAVE_STDDEF_H 1
#define HAVE_WCHAR_H 1
#define HAVE_USABLE_WCHAR_T 1
#define DOUBLE_IS_LITTLE_ENDIAN_IEEE754 1

/* The sizes above are the ones python311.dll was built with: a compiler that disagrees
 * would lay out every Python object differently from the interpreter loading the module. */
#if defined(__cplusplus)
static_assert(sizeof(void*) == SIZEOF_VOID_P, "pointers must be 64 bits");
static_assert(sizeof(sizeof(0)) == SIZEOF_SIZE_T, "size_t must be 64 bits");
static_assert(sizeof(long) == SIZEOF_LONG, "long must be 32 bits, as on Windows");
static_assert(sizeof(long long) == SIZEOF_LONG_LONG, "long long must be 64 bits");
static_assert(sizeof(wchar_t) == SIZEOF_WCHAR_T, "wchar_t must be 16 bits, as on Windows");
static_assert(sizeof(int) == SIZEOF_INT, "int must be 32 bits");
#else
_Static_assert(sizeof(void*) == SIZEOF_VOID_P, "pointers must be 64 bits");
_Static_assert(sizeof(sizeof(0)) == SIZEOF_SIZE_T, "size_t must be 64 bits");
_Static_assert(sizeof(long) == SIZEOF_LONG, "long must be 32 bits, as on Windows");
_Static_assert(sizeof(long long) == SIZEOF_LONG_LONG, "long long must be 64 bits");
_Static_assert(sizeof(int) == SIZEOF_INT, "int must be 32 bits");
#endif

#endif
