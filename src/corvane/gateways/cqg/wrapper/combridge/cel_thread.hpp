// The CEL thread of a ComBridge: it enters a COM apartment, creates CQGCEL, hands it over to
// the calling thread through a marshaling stream, subscribes both sinks and pumps its
// messages until shut down; then it lets its COM objects go and leaves the apartment.
#pragma once

#include <nanobind/nanobind.h>

#include "combridge_scope.hpp"

namespace corvane::bridge {

// ComBridge.threadedFunction(sinkType): the thread's body.
void run_cel_thread(ScopeRef scope, nb::handle self, nb::handle sinkType);

// ComBridge.pumpMessages(): sleeps (without the GIL) until shutdown is signalled or the
// queue has input, and pumps what has come; every CQGCEL event runs in here.
void pump_messages(ScopeRef scope, nb::handle self);

} // namespace corvane::bridge
