// CELSinkBase: one do-nothing handler for every CQGCEL event, so that a sink overrides
// only the events it cares about and accepts every other one.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::bridge {

namespace nb = nanobind;

nb::object make_cel_sink_base(nb::handle module);

} // namespace corvane::bridge
