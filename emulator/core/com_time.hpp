// Time stamps as the platform hands COM dates to Python: aware datetimes labelled UTC, kept to
// the millisecond.
#pragma once

#include <nanobind/nanobind.h>

namespace cqgemu {

namespace nb = nanobind;

nb::object com_timestamp(double epoch_seconds);

} // namespace cqgemu
