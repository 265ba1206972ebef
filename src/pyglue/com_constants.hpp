// CQG's named constants, read from win32com.client.constants at the moment of use (the
// generated type-library wrapper fills that namespace, so it is never cached here).
#pragma once

#include <nanobind/nanobind.h>

namespace pyglue {

namespace nb = nanobind;

nb::object com_constant(const char *name);

} // namespace pyglue
