// The control functions of the order side: the market a test sets (which fills resting
// orders), orders placed from outside the algorithm, faults on the next order or fill, and
// the book's orders and fills for inspection.
#pragma once

#include <nanobind/nanobind.h>

namespace cqgemu {

namespace nb = nanobind;

void define_order_controls(nb::module_ &module);

} // namespace cqgemu
