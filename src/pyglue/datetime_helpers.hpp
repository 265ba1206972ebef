// Naive local date-times, as the framework's records carry them.
#pragma once

#include <nanobind/nanobind.h>

namespace pyglue {

namespace nb = nanobind;

// datetime.datetime.now(): the current local time, without time zone.
nb::object datetime_now();

// value.strftime(format) as text.
nb::str datetime_format(nb::handle value, const char *format);

} // namespace pyglue
