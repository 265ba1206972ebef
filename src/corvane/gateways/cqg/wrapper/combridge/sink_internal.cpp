#include "sink_internal.hpp"

#include "class_builder.hpp"
#include "com_platform.hpp"
#include "progress_log.hpp"

namespace corvane::bridge {

namespace {

// Runs on the CEL thread when the sink is subscribed; sets no attribute.
void construct(nb::handle) { Trace("Internal sink ctor"); }

// Binds the sink to its bridge before the bridge lets the calling thread call Startup().
void bind(nb::handle self, nb::handle eventCELStarted, nb::handle comBridge) {
    nb::setattr(self, "eventCELStarted", eventCELStarted);
    nb::setattr(self, "comBridge", comBridge);
}

void on_cel_started(nb::handle self) {
    Trace("SinkInternal: CELStarted!");
    self.attr("eventCELStarted").attr("set")();
}

// A data error also ends the start-up wait; the bridge tells it from a start by its
// error flag, which is raised before the wait is released.
void on_data_error(nb::handle self, nb::handle cqgError, nb::handle /*errorDescription*/) {
    if (!cqgError.is_none()) {
        nb::object error = pyglue::dispatch(cqgError);
        nb::object code = error.attr("Code");
        nb::object description = error.attr("Description");
        Trace(nb::str("SinkInternal: OnDataError: Code: {} Description: {}")
                  .format(code, description));
    }
    self.attr("comBridge").attr("SetError")();
    self.attr("eventCELStarted").attr("set")();
}

} // namespace

nb::object make_sink_internal(nb::handle module, nb::handle cel_sink_base) {
    pyglue::ClassBuilder sink(module, "SinkInternal", nb::make_tuple(cel_sink_base),
                              "The bridge's sink for CQGCEL's start-up and data errors.");
    sink.def("__init__", &construct)
        .def("Init", &bind, nb::arg("eventCELStarted").none(), nb::arg("comBridge").none())
        .def("OnCELStarted", &on_cel_started)
        .def("OnDataError", &on_data_error, nb::arg("cqgError").none(),
             nb::arg("errorDescription").none());
    return sink.get();
}

} // namespace corvane::bridge
