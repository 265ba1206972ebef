// Naive local date-times, as the framework's records carry them.
#pragma once

#include <nanobind/nanobind.h>

namespace pyglue {

namespace nb = nanobind;

// datetime.datetime.now(): the current local time, without time zone.
nb::object datetime_now();

// value.strftime(format) as text.
nb::str datetime_format(nb::handle value, const char *format);

// A CQG time stamp (a pywintypes datetime labelled UTC whose fields are the server's wall
// clock, or any object with the six date-time fields) as a naive datetime of the same
// wall-clock fields, cut to whole seconds: datetime(year=t.year, ..., second=t.second).
nb::object naive_whole_seconds(nb::handle cqg_time);

} // namespace pyglue
