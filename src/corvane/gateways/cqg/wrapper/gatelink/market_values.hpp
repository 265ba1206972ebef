// Comparisons of the values the market-data records carry (prices, volumes), with Python's
// meaning and a direct path for the plain int and float values they nearly always are.
#pragma once

#include <nanobind/nanobind.h>

namespace gatelink {

namespace nb = nanobind;

// Python's `value != 0`.
bool differs_from_zero(nb::handle value);

// Python's `value == marker` for many values against one marker (the module's
// INVALID_VALUE): the marker is examined once.
class MarkerTest {
public:
    explicit MarkerTest(nb::handle marker);
    bool matches(nb::handle value) const;

private:
    nb::handle marker_;
    bool plain_ = false; // the marker is a plain int or float, held in `number_`
    double number_ = 0;
};

} // namespace gatelink
