// The keyword arguments of a record operation as statement text and values to bind.
#pragma once

#include <nanobind/nanobind.h>

#include <string>
#include <vector>

#include "db_scope.hpp"

namespace corvane::store {

struct Condition {
    std::string text; // "" or "WHERE a=? AND <raw> "
    nb::list parameters;
};

// `condition_str` is the caller's own SQL, used unchanged; every other keyword is a
// column compared for equality with its bound value.
Condition build_condition(ScopeRef scope, nb::dict keywords);

// Checked column names and their values to bind, in the mapping's order.
struct ColumnValues {
    std::vector<std::string> names;
    nb::list parameters;
};

ColumnValues column_values(ScopeRef scope, nb::dict columns);

} // namespace corvane::store
