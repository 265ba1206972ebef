// SinkInternal: the bridge's own sink, which watches CQGCEL's start-up and data errors. Its
// methods, in the order the module's table defines them.
#pragma once

#include <nanobind/nanobind.h>

#include "combridge_scope.hpp"

namespace corvane::bridge {

void construct_internal_sink(ScopeRef scope, nb::handle self);
void bind_internal_sink(ScopeRef scope, nb::handle self, nb::handle eventCELStarted,
                        nb::handle comBridge);
void on_cel_started(ScopeRef scope, nb::handle self);
void on_start_up_data_error(ScopeRef scope, nb::handle self, nb::handle cqgError,
                            nb::handle errorDescription);

} // namespace corvane::bridge
