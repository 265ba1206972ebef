#include "exit_guard.hpp"

#include "com_platform.hpp"
#include "guarded_at_exit.hpp"
#include "truth.hpp"

namespace corvane::bridge {

using pyglue::win32event_module;

namespace {

bool cel_thread_running(nb::handle bridge) {
    nb::object thread = bridge.attr("thread");
    return pyglue::is_true(thread.attr("is_alive")());
}

nb::object not_shut_down_warning(std::size_t count) {
    return nb::str("ComBridge was not shut down: {} bridge(s) still running at exit are shut "
                   "down now; call Shutdown() when done with a ComBridge")
        .format(count);
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

} // namespace

nb::object running_bridges_with_exit_hook() {
    pyglue::ExitGuard guard{&cel_thread_running, &shut_down_at_exit, &not_shut_down_warning,
                            "shutting down the ComBridges left running"};
    return pyglue::guarded_set_with_exit_hook(std::move(guard), /*weakly=*/true);
}

} // namespace corvane::bridge
