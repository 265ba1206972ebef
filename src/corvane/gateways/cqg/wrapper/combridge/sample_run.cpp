#include "sample_run.hpp"

#include "errors.hpp"
#include "progress_log.hpp"
#include "safe_access.hpp"
#include "truth.hpp"

namespace corvane::bridge {

using pyglue::call_method;
using pyglue::read;

void start(ScopeRef scope, nb::handle sampleClassType, nb::handle customConfiguration) {
    nb::object bridge = scope.com_bridge();
    try {
        nb::object sample = call_method(bridge, "Init", sampleClassType, customConfiguration);
        // After a start-up data error the sample is neither initialised nor started.
        if (!pyglue::is_true(read(bridge, scope.names.errorHappened))) {
            call_method(sample, "Init", bridge);
            call_method(sample, "Start");
        }
    } catch (nb::python_error &error) {
        if (!error.matches(PyExc_Exception)) {
            // A keyboard interrupt and the like still pass through, after the shut-down.
            call_method(bridge, "Shutdown");
            throw;
        }
        trace(scope, nb::str("Exception: {}").format(pyglue::take_exception(error)));
    }
    call_method(bridge, "Shutdown");
}

} // namespace corvane::bridge
