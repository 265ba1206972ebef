// The COM bridge module: brings CQG's CQGCEL COM server into the process and keeps it alive
// (ComBridge, its CEL thread and its own sink), and holds the CQG side's progress log and
// the base of every event sink. Each concern is a file of plain functions over the module's
// state (combridge_scope.hpp); this file lays out the module and holds its one ordered table.
#include <nanobind/nanobind.h>

#include "cel_sink_base.hpp"
#include "cel_thread.hpp"
#include "class_builder.hpp"
#include "com_bridge.hpp"
#include "combridge_scope.hpp"
#include "exit_guard.hpp"
#include "module_function.hpp"
#include "module_imports.hpp"
#include "module_init.hpp"
#include "progress_log.hpp"
#include "safe_access.hpp"
#include "sample_run.hpp"
#include "sink_internal.hpp"
#include "with_context.hpp"

namespace nb = nanobind;

namespace {

namespace bridge = corvane::bridge;
using bridge::SharedScope;
using bridge::snapshot;
using pyglue::with_context;

// The module's imports, in order; any failure fails the import of the module.
void import_dependencies(nb::module_ &m) {
    pyglue::import_module(m, "threading");
    pyglue::import_names(m, "threading", {"Thread"});
    pyglue::import_module(m, "win32event");
    pyglue::import_module(m, "win32com.client");
    pyglue::import_names(m, "win32com.client", {"constants"});
    pyglue::import_module(m, "pythoncom");
    pyglue::import_module(m, "sys");
}

// Generates (once) and loads the wrapper of CQGCEL's type library, which fills
// win32com.client.constants and lets WithEvents bind CQGCEL's events to sink methods.
void ensure_cqgcel_type_library(nb::module_ &m) {
    nb::object library_module = nb::module_::import_("corvane.gateways.cqg.wrapper.type_library");
    nb::object library = pyglue::import_name(library_module, "CQGCEL_TYPE_LIBRARY");
    nb::object win32com = pyglue::read(m, "win32com");
    nb::object client = pyglue::read(win32com, "client");
    nb::object gencache = pyglue::read(client, "gencache");
    nb::object ensure_module = pyglue::read(gencache, "EnsureModule");
    ensure_module(*library);
}

// The Python-facing Trace (the C++ side writes its fixed lines through the other overload).
void (*const trace_message)(bridge::ScopeRef, nb::handle) = &bridge::trace;

nb::object make_sink_internal(nb::module_ &m, nb::handle sink_base, SharedScope scope) {
    pyglue::ClassBuilder sink(m, "SinkInternal", nb::make_tuple(sink_base),
                              "The bridge's sink for CQGCEL's start-up and data errors.");
    // SinkInternal's methods, in the order the class defines them.
    sink.def("__init__", with_context(scope, &bridge::construct_internal_sink))
        .def("Init", with_context(scope, &bridge::bind_internal_sink),
             nb::arg("eventCELStarted"), nb::arg("comBridge"))
        .def("OnCELStarted", with_context(scope, &bridge::on_cel_started))
        .def("OnDataError", with_context(scope, &bridge::on_start_up_data_error),
             nb::arg("cqgError"), nb::arg("errorDescription"));
    return sink.get();
}

nb::object make_com_bridge(nb::module_ &m, SharedScope scope) {
    pyglue::ClassBuilder cls(m, "ComBridge", nb::tuple(),
                             "Runs CQGCEL on a thread of its own and hands it over to the "
                             "calling thread.");
    // ComBridge's methods, in the order the class defines them.
    cls.def("__init__", with_context(scope, &bridge::construct_bridge))
        .def("Init", with_context(scope, &bridge::init), nb::arg("sinkType"),
             nb::arg("customAPIConfiguration"))
        .def("threadedFunction", with_context(scope, &bridge::run_cel_thread), nb::arg("sinkType"))
        .def("pumpMessages", with_context(scope, &bridge::pump_messages))
        .def("apiConfigurationSet", with_context(scope, &bridge::api_configuration_set),
             nb::arg("customAPIConfiguration"))
        .def("startupCel", with_context(scope, &bridge::startup_cel))
        .def("Shutdown", with_context(scope, &bridge::shutdown))
        .def("SetError", with_context(scope, &bridge::set_error));
    return cls.get();
}

} // namespace

PYGLUE_MODULE(ComBridge, m) {
    import_dependencies(m);
    ensure_cqgcel_type_library(m);
    bridge::Scope scope(m);

    // The module's members, in the order the module defines them. Each class or function is
    // handed the state as it stands when it is made (snapshot).
    pyglue::def_function(m, "AssertMessage", &bridge::assert_message, nb::arg("condition").none(),
                         nb::arg("message").none(),
                         "Raises RuntimeError(message) unless the condition holds.");
    pyglue::def_function(
        m, "Trace", with_context(snapshot(scope), trace_message), nb::arg("message").none(),
        "Writes one progress line: the current thread's identifier, ': ' and the message.");
    nb::object sink_base = bridge::make_cel_sink_base(m);
    pyglue::write(m, "CELSinkBase", sink_base);
    scope.sink_internal = make_sink_internal(m, sink_base, snapshot(scope));
    pyglue::write(m, "SinkInternal", scope.sink_internal);
    scope.running = bridge::running_bridges_with_exit_hook();
    scope.com_bridge = make_com_bridge(m, snapshot(scope));
    pyglue::write(m, "ComBridge", scope.com_bridge);
    pyglue::def_function(m, "Start", with_context(snapshot(scope), &bridge::start),
                         nb::arg("sampleClassType").none(),
                         nb::arg("customConfiguration").none() = nb::none(),
                         "Runs a sample application between the bridge's start-up and shut-down.");
}
