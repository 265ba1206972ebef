// ComBridge: creates CQGCEL on a thread of its own (the CEL thread), hands it over to the
// calling thread through a marshaling stream and pumps the CEL thread's messages until
// shut down.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::bridge {

namespace nb = nanobind;

nb::object make_com_bridge(nb::handle module, nb::handle sink_internal);

} // namespace corvane::bridge
