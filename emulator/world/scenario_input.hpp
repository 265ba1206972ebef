// Reading what a test writes into a scenario (dicts, lists, numbers) with a clear ValueError or
// TypeError for anything malformed. Shared by the accounts and the market of a scenario.
#pragma once

#include <nanobind/nanobind.h>

#include <initializer_list>
#include <string>

namespace cqgemu {

namespace nb = nanobind;

[[noreturn]] void fail(PyObject *type, const std::string &text);

nb::dict as_dict(nb::handle value, const char *what);

// A ValueError naming the first key of `entry` that is not one of `known`.
void require_known_keys(nb::dict entry, std::initializer_list<const char *> known,
                        const char *what);

// The value under `key`, or None.
nb::object entry_or_none(nb::dict entry, const char *key);

long integer_from(nb::handle value, const char *what);

// None counts as 0.0; a bool is refused.
double number_from(nb::handle value, const char *what);

std::string text_from(nb::handle value, const char *what);

} // namespace cqgemu
