// The platform's Python types for interfaces, each with its slots: PyIDispatch (the bare
// interface), CDispatch (the late-bound wrapper), DispatchBaseClass (base of the generated
// classes) and COMMethod (a method read from a wrapper). The container protocol adds to the
// wrappers afterwards (define_container_protocol).
#pragma once

#include <nanobind/nanobind.h>

namespace cqgemu {

namespace nb = nanobind;

void define_interface_types(nb::module_ &module);

} // namespace cqgemu
