#include "exit_guard.hpp"

#include "com_platform.hpp"
#include "guarded_at_exit.hpp"
#include "safe_access.hpp"
#include "truth.hpp"

namespace corvane::bridge {

using pyglue::call_method;
using pyglue::read;

namespace {

bool cel_thread_running(nb::handle bridge) {
    nb::object thread = read(bridge, "thread");
    return pyglue::is_true(call_method(thread, "is_alive"));
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
        call_method(bridge, "Shutdown");
        return;
    } catch (nb::python_error &) {
    }
    nb::object shutdownEvent = read(bridge, "shutdownEvent");
    call_method(cqgglue::win32event_module(), "SetEvent", shutdownEvent);
    nb::object thread = read(bridge, "thread");
    call_method(thread, "join");
}

} // namespace

nb::object running_bridges_with_exit_hook() {
    pyglue::ExitGuard guard{&cel_thread_running, &shut_down_at_exit, &not_shut_down_warning,
                            "shutting down the ComBridges left running"};
    return pyglue::guarded_set_with_exit_hook(std::move(guard), /*weakly=*/true);
}

} // namespace corvane::bridge
