// Naive local date-times, as the framework's records carry them.
#pragma once

#include <nanobind/nanobind.h>

namespace pyglue {

namespace nb = nanobind;

// datetime.datetime.now(): the current local time, without time zone.
nb::object datetime_now();

// value.strftime(format) as text.
nb::str datetime_format(nb::handle value, const char *format);

// value.strftime("%Y-%m-%d %H:%M:%S") as text. A plain datetime of a four-digit year is
// written from its fields here, without the round trip through time.strftime; anything else
// (a subclass, which may override strftime, or an earlier year, which platforms pad
// differently) goes through its own strftime.
nb::str datetime_seconds_text(nb::handle value);

// A CQG time stamp (a pywintypes datetime labelled UTC whose fields are the server's wall
// clock, or any object with the six date-time fields) as a naive datetime of the same
// wall-clock fields, cut to whole seconds: datetime(year=t.year, ..., second=t.second).
nb::object naive_whole_seconds(nb::handle cqg_time);

} // namespace pyglue
