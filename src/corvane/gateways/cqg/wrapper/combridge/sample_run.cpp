#include "sample_run.hpp"

#include "errors.hpp"
#include "module_function.hpp"
#include "progress_log.hpp"
#include "truth.hpp"

namespace corvane::bridge {

namespace {

void run_sample(nb::handle comBridgeType, nb::handle sampleClassType,
                nb::handle customConfiguration) {
    nb::object bridge = comBridgeType();
    try {
        nb::object sample = bridge.attr("Init")(sampleClassType, customConfiguration);
        // After a start-up data error the sample is neither initialised nor started.
        if (!pyglue::is_true(bridge.attr("errorHappened"))) {
            sample.attr("Init")(bridge);
            sample.attr("Start")();
        }
    } catch (nb::python_error &error) {
        if (!error.matches(PyExc_Exception)) {
            // A keyboard interrupt and the like still pass through, after the shut-down.
            bridge.attr("Shutdown")();
            throw;
        }
        Trace(nb::str("Exception: {}").format(pyglue::take_exception(error)));
    }
    bridge.attr("Shutdown")();
}

} // namespace

void define_start(nb::module_ &module, nb::handle com_bridge) {
    nb::object comBridgeType = nb::borrow(com_bridge);
    pyglue::def_function(
        module, "Start",
        [comBridgeType](nb::handle sampleClassType, nb::handle customConfiguration) {
            run_sample(comBridgeType, sampleClassType, customConfiguration);
        },
        nb::arg("sampleClassType").none(),
        nb::arg("customConfiguration").none() = nb::none(),
        "Runs a sample application between the bridge's start-up and shut-down.");
}

} // namespace corvane::bridge
