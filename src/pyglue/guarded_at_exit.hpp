// Objects whose threads are no daemons (a ComBridge's CEL thread, a bot's updater threads):
// one their user forgot to stop would keep the interpreter waiting at exit for ever. Those
// still running when the interpreter exits are stopped instead, after one warning, before
// threading joins the remaining threads.
#pragma once

#include <nanobind/nanobind.h>

#include <cstddef>
#include <functional>

namespace pyglue {

namespace nb = nanobind;

struct ExitGuard {
    // Whether an object of the set still runs threads of its own.
    std::function<bool(nb::handle)> still_running;
    // Stops one object at exit; an error it raises is reported and the others still stop.
    std::function<void(nb::handle)> stop;
    // The one warning's text, given how many objects are left running.
    std::function<nb::object(std::size_t)> warning;
    // Names the hook where an error of its own is reported.
    const char *what;
};

// The set of the guarded objects, with the exit hook that stops whatever is left in it
// registered. An object joins the set when it starts its threads and leaves it once they
// have ended; with `weakly`, the set holds its objects weakly.
nb::object guarded_set_with_exit_hook(ExitGuard guard, bool weakly);

} // namespace pyglue
