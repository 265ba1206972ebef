// Start: a complete run of a sample application between start-up and shut-down.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::bridge {

namespace nb = nanobind;

void define_start(nb::module_ &module, nb::handle com_bridge);

} // namespace corvane::bridge
