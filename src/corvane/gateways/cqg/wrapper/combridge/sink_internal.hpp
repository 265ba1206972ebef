// SinkInternal: the bridge's own sink, which watches CQGCEL's start-up and data errors.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::bridge {

namespace nb = nanobind;

nb::object make_sink_internal(nb::handle module, nb::handle cel_sink_base);

} // namespace corvane::bridge
