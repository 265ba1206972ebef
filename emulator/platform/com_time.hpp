// COM dates as pywin32 gives them: `pywintypes.TimeType` (also `pywintypes.datetime`), a
// subclass of datetime.datetime labelled UTC whose fields are the sender's wall clock, kept to
// the millisecond.
#pragma once

#include <nanobind/nanobind.h>

namespace cqgemu {

namespace nb = nanobind;

// Creates pywintypes.TimeType and stores it in `module` as "TimeType".
void define_time_type(nb::module_ &module);

// A TimeType whose fields are `wall_clock_seconds` (seconds since 1970-01-01 on the server's own
// wall clock) read as UTC, cut to whole milliseconds. Emulated objects make their time stamps
// with this, from the emulated clock.
nb::object com_time_from_wall_clock(double wall_clock_seconds);

// A datetime sent to COM: an aware one is moved to UTC, a naive one is taken as local time and
// shifted to UTC (as Windows converts it to a DATE); milliseconds kept.
nb::object com_time_from_datetime(nb::handle value);

bool is_datetime(nb::handle value);

} // namespace cqgemu
