// The control functions of the gateway session and the accounts: positions and summary values a
// test sets, connection changes and data errors it injects, members it makes fail, and the
// record of property assignments and call arguments it inspects.
#pragma once

#include <nanobind/nanobind.h>

namespace cqgemu {

namespace nb = nanobind;

void define_session_controls(nb::module_ &module);

} // namespace cqgemu
