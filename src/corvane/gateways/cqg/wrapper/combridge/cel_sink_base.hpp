// CELSinkBase: the base of every CQGCEL event sink, one handler per CQGCEL event (the table
// cel_sink_events.def), each accepting its event and doing nothing.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::bridge {

namespace nb = nanobind;

nb::object make_cel_sink_base(nb::handle module);

} // namespace corvane::bridge
