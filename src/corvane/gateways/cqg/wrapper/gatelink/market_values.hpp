// Comparisons of the values the market-data records carry (prices, volumes), with Python's
// meaning and a direct path for the plain int and float values they nearly always are.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::gatelink {

namespace nb = nanobind;

// Python's `value != 0`.
bool differs_from_zero(nb::handle value);

// Python's `value == marker` for many values against one marker (the module's
// INVALID_VALUE): the marker is examined once.
class MarkerTest {
public:
    explicit MarkerTest(nb::handle marker);

    // A float against a plain marker is answered here, inline: window repairs ask this of
    // every field of every bar.
    bool matches(nb::handle value) const {
        if (plain_ && PyFloat_CheckExact(value.ptr()))
            return PyFloat_AS_DOUBLE(value.ptr()) == number_;
        return matches_any(value);
    }

private:
    bool matches_any(nb::handle value) const;

    nb::handle marker_;
    bool plain_ = false; // the marker is a plain int or float, held in `number_`
    double number_ = 0;
};

} // namespace corvane::gatelink
