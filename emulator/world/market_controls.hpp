// The control functions of the market: quotes, ticks and bars a test pushes, the history it
// sets, faults on the next resolution, the live market and its counts, and the log of calls
// made on CQG objects.
#pragma once

#include <nanobind/nanobind.h>

namespace cqgemu {

namespace nb = nanobind;

void define_market_controls(nb::module_ &module);

} // namespace cqgemu
