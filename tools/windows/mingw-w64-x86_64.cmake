# Cross-compiles the system modules for 64-bit Windows with Debian's mingw-w64 (the POSIX
# thread model: the C++ standard library's threads and mutexes need it with gcc 12).
# tools/windows/cross_check.py passes the Python 3.11 it stages (headers, import library).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CORVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Outside the root: nanobind's CMake package (in the build interpreter's site-packages) and
# the staged python311.dll, which CMake's Python look-up must find beside its import library
# to treat Python as a shared library (a static one would bring the build interpreter's
# own link libraries, -ldl and the like).
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Python's headers take their 64-bit Windows branches on MS_WIN64, which an MSVC build gets
# from Python's own configuration; without it they describe a 32-bit target.
# The Windows traps that compile quietly become errors: an integer made a pointer, a printf
# format that assumes a 64-bit long, a constant that no longer fits. (C++ refuses a pointer
# kept in a 32-bit long on its own.)
set(CMAKE_CXX_FLAGS_INIT "-DMS_WIN64 -Werror=int-to-pointer-cast \
-Werror=format -Werror=overflow -Werror=shift-count-overflow -Werror=narrowing")
# The modules carry the compiler's runtime themselves, as an MSVC build relies only on the
# system's: a Windows machine has no libstdc++ or winpthread DLL.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# nanobind names the modules after the interpreter that builds them, here a Linux one.
set(NB_SUFFIX .cp311-win_amd64.pyd)
set(NB_SUFFIX_S .pyd)
