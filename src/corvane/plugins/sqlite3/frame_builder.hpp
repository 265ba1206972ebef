// The pandas DataFrame of a query's rows.
#pragma once

#include <nanobind/nanobind.h>

#include "db_scope.hpp"

namespace corvane::store {

// The same frame as pandas.DataFrame(rows, columns=names), built faster: a column whose
// values are all ints (or all floats) becomes an int64 (float64) array at once, which is
// the type pandas would infer for it, and pandas infers the type of every other column
// from its values. Rows that are not plain tuples, an empty result or repeated column
// names go to pandas.DataFrame(rows, columns=names) itself.
nb::object frame_from_rows(ScopeRef scope, nb::handle rows, nb::list names);

} // namespace corvane::store
