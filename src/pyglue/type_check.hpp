// Exact-type checks of declared argument types.
#pragma once

#include <nanobind/nanobind.h>

namespace pyglue {

namespace nb = nanobind;

// Raises TypeError "Argument '<name>' has incorrect type (expected <type>, got <type>)"
// unless `value` is exactly of type `expected` (a subclass is refused too).
void require_exact_type(nb::handle value, PyTypeObject *expected, const char *arg_name);

// The same check, but None is let through (for arguments declared Optional).
void require_exact_type_or_none(nb::handle value, PyTypeObject *expected,
                                const char *arg_name);

// The TypeError itself, for callers whose accepted types are more than one.
[[noreturn]] void raise_incorrect_type(nb::handle value, const char *expected_name,
                                       const char *arg_name);

} // namespace pyglue
