// Comparisons of the values the market-data records carry (prices, volumes), with Python's
// meaning and a direct path for the plain int and float values they nearly always are.
#pragma once

#include <nanobind/nanobind.h>

namespace gatelink {

namespace nb = nanobind;

// Python's `value != 0`.
bool differs_from_zero(nb::handle value);

// Python's `value == invalid` (invalid: the module's INVALID_VALUE).
bool equals_value(nb::handle value, nb::handle invalid);

} // namespace gatelink
