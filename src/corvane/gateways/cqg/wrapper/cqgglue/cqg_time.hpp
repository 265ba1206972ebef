// CQG's time stamps as the framework's records carry them.
#pragma once

#include <nanobind/nanobind.h>

namespace cqgglue {

namespace nb = nanobind;

// A CQG time stamp (a pywintypes datetime labelled UTC whose fields are the server's wall
// clock, or any object with the six date-time fields) as a naive datetime of the same
// wall-clock fields, cut to whole seconds: datetime(year=t.year, ..., second=t.second).
nb::object naive_whole_seconds(nb::handle cqg_time);

} // namespace cqgglue
