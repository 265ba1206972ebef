// Checks shared by the request objects' properties: each assignment the gateway makes is checked
// as the server would and noted for tests (`property_log()`).
#pragma once

#include <nanobind/nanobind.h>

#include <string>

namespace cqgemu {

namespace nb = nanobind;

struct CelRecord;

// A BSTR property: text only.
std::string text_field(nb::handle value);

// An enumerated property: an int that is a member of `enumeration`; the server's error names
// `what` otherwise.
long enumerated_field(const char *type_name, const char *enumeration, const char *what,
                      nb::handle value);

// SessionsFilter takes a number of session flags or a text such as "all".
nb::object sessions_filter_field(nb::handle value);

} // namespace cqgemu
