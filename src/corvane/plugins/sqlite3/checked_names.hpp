// Table and column names as they reach a statement: copied out of the caller's objects and
// checked to be plain identifiers, so that no name can carry SQL of its own.
#pragma once

#include <nanobind/nanobind.h>

#include <string>
#include <string_view>
#include <vector>

namespace corvane::store {

namespace nb = nanobind;

// The text as UTF-8, a copy of our own: converting a value runs the caller's Python code,
// which may change or empty the mapping or list the names came from.
std::string utf8_of(nb::handle text);

// The name as UTF-8, once it is known to be a plain identifier; `kind` is "table" or
// "column". A name that is no str raises TypeError, any other name ValueError.
std::string checked_name(nb::handle name, const char *kind);

// The `table_name` argument: exactly a str, and a plain identifier.
std::string checked_table(nb::handle table_name);

std::vector<std::string_view> views_of(const std::vector<std::string> &names);

// The mapping's (name, value) pairs as a list of our own, taken before any value is
// converted: the statement is for what the caller passed, and no entry can be freed under
// us if the caller's code empties the mapping meanwhile.
nb::list entries_of(nb::dict mapping);

} // namespace corvane::store
