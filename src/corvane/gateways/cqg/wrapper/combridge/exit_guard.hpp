// Bridges still running when the interpreter exits. The CEL thread is no daemon, so a
// bridge its user forgot to shut down would keep the interpreter waiting for ever; instead
// it is shut down, after one warning, before threading joins the remaining threads.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::bridge {

namespace nb = nanobind;

// A set (held weakly) of the bridges that are running, with the exit hook that shuts down
// whatever is left in it registered; Init adds a bridge, Shutdown removes it.
nb::object running_bridges_with_exit_hook();

} // namespace corvane::bridge
