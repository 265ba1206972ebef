#include "leak_reports.hpp"

#include "truth.hpp"

namespace pyglue {

namespace nb = nanobind;

namespace {

bool a_daemon_thread_runs() {
    nb::module_ threading = nb::module_::import_("threading");
    nb::object current = threading.attr("current_thread")();
    for (nb::handle thread : threading.attr("enumerate")()) {
        if (thread.is(current))
            continue;
        nb::object daemon = thread.attr("daemon");
        if (is_true(daemon) && is_true(thread.attr("is_alive")()))
            return true;
    }
    return false;
}

} // namespace

void quiet_leak_reports_if_daemons_outlive_exit() {
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    // atexit hooks run once threading has joined every thread that is no daemon.
    nb::object hook = nb::cpp_function(
        []() {
            try {
                if (a_daemon_thread_runs())
                    nb::set_leak_warnings(false);
            } catch (nb::python_error &error) {
                error.discard_as_unraisable("deciding on nanobind's leak report");
            }
        },
        nb::name("quiet_leak_reports_if_daemons_run"));
    nb::module_::import_("atexit").attr("register")(hook);
}

} // namespace pyglue
