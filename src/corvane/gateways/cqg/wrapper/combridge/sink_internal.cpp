#include "sink_internal.hpp"

#include "com_platform.hpp"
#include "progress_log.hpp"
#include "safe_access.hpp"

namespace corvane::bridge {

using pyglue::call_method;
using pyglue::read;
using pyglue::write;

// Runs on the CEL thread when the sink is subscribed; sets no attribute.
void construct_internal_sink(ScopeRef scope, nb::handle) { trace(scope, "Internal sink ctor"); }

// Binds the sink to its bridge before the bridge lets the calling thread call Startup().
void bind_internal_sink(ScopeRef scope, nb::handle self, nb::handle eventCELStarted,
                        nb::handle comBridge) {
    write(self, scope.names.eventCELStarted, eventCELStarted);
    write(self, "comBridge", comBridge);
}

void on_cel_started(ScopeRef scope, nb::handle self) {
    trace(scope, "SinkInternal: CELStarted!");
    nb::object started = read(self, scope.names.eventCELStarted);
    call_method(started, "set");
}

// A data error also ends the start-up wait; the bridge tells it from a start by its
// error flag, which is raised before the wait is released.
void on_start_up_data_error(ScopeRef scope, nb::handle self, nb::handle cqgError,
                            nb::handle /*errorDescription*/) {
    if (!cqgError.is_none()) {
        nb::object error = cqgglue::dispatch(cqgError);
        nb::object code = read(error, "Code");
        nb::object description = read(error, "Description");
        trace(scope, nb::str("SinkInternal: OnDataError: Code: {} Description: {}")
                         .format(code, description));
    }
    nb::object comBridge = read(self, "comBridge");
    call_method(comBridge, "SetError");
    nb::object started = read(self, scope.names.eventCELStarted);
    call_method(started, "set");
}

} // namespace corvane::bridge
