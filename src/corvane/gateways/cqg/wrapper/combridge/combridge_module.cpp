// The COM bridge module: brings CQG's CQGCEL COM server into the process and keeps it
// alive, and holds the CQG side's progress log and sink base.
#include <nanobind/nanobind.h>

#include "cel_sink_base.hpp"
#include "com_bridge.hpp"
#include "module_function.hpp"
#include "module_init.hpp"
#include "progress_log.hpp"
#include "sample_run.hpp"
#include "sink_internal.hpp"

namespace nb = nanobind;

namespace {

// CQGCEL's type library: its generated wrapper fills win32com.client.constants and lets
// WithEvents bind CQGCEL's events to sink methods.
const char *const kCqgcelTypeLibrary = "{51F35562-AEB4-4AB3-99E8-AC9666344B64}";

void import_platform(nb::module_ &m) {
    nb::module_ threading = nb::module_::import_("threading");
    m.attr("threading") = threading;
    nb::object thread_class = threading.attr("Thread");
    m.attr("Thread") = thread_class;
    m.attr("win32event") = nb::module_::import_("win32event");
    nb::module_ client = nb::module_::import_("win32com.client");
    m.attr("win32com") = nb::module_::import_("win32com");
    nb::object constants = client.attr("constants");
    m.attr("constants") = constants;
    m.attr("pythoncom") = nb::module_::import_("pythoncom");
    m.attr("sys") = nb::module_::import_("sys");
}

} // namespace

PYGLUE_MODULE(ComBridge, m) {
    import_platform(m);
    nb::module_::import_("win32com.client")
        .attr("gencache")
        .attr("EnsureModule")(kCqgcelTypeLibrary, 0, 4, 0);

    pyglue::def_function(
        m, "AssertMessage",
        [](nb::handle condition, nb::handle message) {
            corvane::bridge::AssertMessage(condition, message);
        },
        nb::arg("condition").none(), nb::arg("message").none(),
        "Raises RuntimeError(message) unless the condition holds.");
    pyglue::def_function(
        m, "Trace", [](nb::handle message) { corvane::bridge::Trace(message); },
        nb::arg("message").none(),
        "Writes one progress line: the current thread's identifier, ': ' and the message.");

    nb::object sinkBase = corvane::bridge::make_cel_sink_base(m);
    m.attr("CELSinkBase") = sinkBase;
    nb::object sinkInternal = corvane::bridge::make_sink_internal(m, sinkBase);
    m.attr("SinkInternal") = sinkInternal;

    nb::object comBridge = corvane::bridge::make_com_bridge(m, sinkInternal);
    m.attr("ComBridge") = comBridge;

    corvane::bridge::define_start(m, comBridge);
}
