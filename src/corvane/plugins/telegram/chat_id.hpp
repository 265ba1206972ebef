// Chat ids as the library takes them: an int, or a number turned into one.
#pragma once

#include <nanobind/nanobind.h>

#include <optional>

namespace corvane::telegram {

namespace nb = nanobind;

// An int is returned unchanged; another number (a bool, a float, an integer-like object
// such as a numpy integer) is converted to int, a float by truncation. Anything else,
// None included, gives nothing. A float that has no int value (nan, inf) raises.
std::optional<nb::object> chat_id_as_int(nb::handle value);

} // namespace corvane::telegram
