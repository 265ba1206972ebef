// The import statements of a module built in C++, with a Python module's semantics: each
// binds its names in the module being built, and a failure fails that module's import
// with the error raised (ModuleNotFoundError, or ImportError for a missing name).
#pragma once

#include <nanobind/nanobind.h>

#include <initializer_list>

namespace pyglue {

namespace nb = nanobind;

// `import threading` or `import win32com.client`: imports the module and binds its top
// package (`threading`, `win32com`) in `target`.
void import_module(nb::module_ &target, const char *dotted_name);

// `from <module> import <names...>`: binds each name in `target`.
void import_names(nb::module_ &target, const char *module_name,
                  std::initializer_list<const char *> names);

// One `from <module> import <name>`, returned instead of bound.
nb::object import_name(nb::handle module, const char *name);
nb::object import_name(const char *module_name, const char *name);

} // namespace pyglue
