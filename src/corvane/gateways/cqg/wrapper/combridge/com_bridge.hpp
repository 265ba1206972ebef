// ComBridge on the calling thread: Init starts the CEL thread (cel_thread.hpp), which creates
// CQGCEL, takes CQGCEL over from it through the marshaling stream, configures and starts it;
// Shutdown ends the CEL thread. Its methods, in the order the module's table defines them.
#pragma once

#include <nanobind/nanobind.h>

#include "combridge_scope.hpp"

namespace corvane::bridge {

void construct_bridge(ScopeRef scope, nb::handle self);
nb::object init(ScopeRef scope, nb::handle self, nb::handle sinkType,
                nb::handle customAPIConfiguration);
void api_configuration_set(ScopeRef scope, nb::handle self, nb::handle customAPIConfiguration);
void startup_cel(ScopeRef scope, nb::handle self);
void shutdown(ScopeRef scope, nb::handle self);
void set_error(ScopeRef scope, nb::handle self);

} // namespace corvane::bridge
