#include "exit_guard.hpp"

#include "com_platform.hpp"
#include "truth.hpp"

namespace combridge {

using pyglue::threading_module;
using pyglue::win32event_module;

namespace {

void warn_not_shut_down(size_t count) {
    nb::object message = nb::str("ComBridge was not shut down: {} bridge(s) still running at "
                                 "exit are shut down now; call Shutdown() when done with a "
                                 "ComBridge")
                             .format(count);
    nb::object runtime_warning = nb::borrow(PyExc_RuntimeWarning);
    nb::module_::import_("warnings").attr("warn")(message, runtime_warning);
}

// Shutdown as its user would have called it; when that fails (the proxy belongs to the
// thread that called Init, say), the pump is still ended and the thread joined. The
// warning has said what happens, so that failure is not reported again.
void shut_down_at_exit(nb::handle bridge) {
    try {
        bridge.attr("Shutdown")();
        return;
    } catch (nb::python_error &) {
    }
    nb::object shutdownEvent = bridge.attr("shutdownEvent");
    win32event_module().attr("SetEvent")(shutdownEvent);
    nb::object thread = bridge.attr("thread");
    thread.attr("join")();
}

void shut_down_running(nb::handle running) {
    nb::list left;
    for (nb::handle bridge : nb::list(running)) {
        nb::object thread = bridge.attr("thread");
        if (pyglue::is_true(thread.attr("is_alive")()))
            left.append(bridge);
    }
    if (left.size() == 0)
        return;
    warn_not_shut_down(left.size());
    for (nb::handle bridge : left)
        shut_down_at_exit(bridge);
}

} // namespace

nb::object running_bridges_with_exit_hook() {
    nb::object running = nb::module_::import_("weakref").attr("WeakSet")();
    nb::object hook = nb::cpp_function(
        [running]() {
            // An error here must not keep the interpreter from joining its threads.
            try {
                shut_down_running(running);
            } catch (nb::python_error &error) {
                error.discard_as_unraisable("shutting down the ComBridges left running");
            }
        },
        nb::name("shut_down_running_bridges"));
    // Runs in the main thread before the interpreter joins its non-daemon threads.
    threading_module().attr("_register_atexit")(hook);
    return running;
}

} // namespace combridge
