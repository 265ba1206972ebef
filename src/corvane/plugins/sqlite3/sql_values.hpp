// Python values turned into what is bound to a statement's `?` placeholders.
#pragma once

#include <nanobind/nanobind.h>

#include <string_view>

#include "db_scope.hpp"

namespace corvane::store {

// The value to bind for a record's column: text unchanged, a datetime as
// "%Y-%m-%d %H:%M:%S" text, an integer (bool and numpy.int64 included) as an int, a float
// as a float. An integer outside SQLite's 64-bit range is bound as a float, as SQLite
// itself reads such a number written in SQL text. Anything else (None included) raises
// ValueError "Data format is not support! ...".
nb::object bindable_value(ScopeRef scope, nb::handle value);

// The value to bind for `column`, as above; NaN raises ValueError naming the column, since
// SQLite keeps no NaN (it would become NULL). Infinities are kept.
nb::object bindable_column_value(ScopeRef scope, std::string_view column,
                                 nb::handle value);

} // namespace corvane::store
