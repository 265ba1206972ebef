// Naive local date-times, as the framework's records carry them.
#pragma once

#include <nanobind/nanobind.h>

#include <cstdint>

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

// A datetime (a subclass too) as UTC nanoseconds since the epoch, as pyarrow takes one into
// a UTC timestamp column: its fields, less its utcoffset() when it has a tzinfo (a naive one
// counts as UTC). False, with no Python error set, for anything else, an offset of a
// fraction of a second, or a time out of the range of 64-bit nanoseconds. May run Python
// code (the tzinfo's utcoffset).
bool utc_nanoseconds(nb::handle value, std::int64_t &nanoseconds);

} // namespace pyglue
