#include "guarded_at_exit.hpp"

namespace pyglue {

namespace {

void warn(nb::handle message) {
    nb::object runtime_warning = nb::borrow(PyExc_RuntimeWarning);
    nb::module_::import_("warnings").attr("warn")(message, runtime_warning);
}

void stop_running(const ExitGuard &guard, nb::handle guarded) {
    nb::list left;
    for (nb::handle object : nb::list(guarded))
        if (guard.still_running(object))
            left.append(object);
    if (left.size() == 0)
        return;
    nb::object message = guard.warning(left.size());
    warn(message);
    for (nb::handle object : left) {
        try {
            guard.stop(object);
        } catch (nb::python_error &error) {
            error.discard_as_unraisable(guard.what);
        }
    }
}

} // namespace

nb::object guarded_set_with_exit_hook(ExitGuard guard, bool weakly) {
    nb::object guarded = weakly ? nb::module_::import_("weakref").attr("WeakSet")()
                                : nb::object(nb::set());
    nb::object hook = nb::cpp_function(
        [guard, guarded]() {
            // An error here must not keep the interpreter from joining its threads.
            try {
                stop_running(guard, guarded);
            } catch (nb::python_error &error) {
                error.discard_as_unraisable(guard.what);
            }
        },
        nb::name("stop_running_at_exit"));
    // Runs in the main thread before the interpreter joins its non-daemon threads.
    nb::module_::import_("threading").attr("_register_atexit")(hook);
    return guarded;
}

} // namespace pyglue
