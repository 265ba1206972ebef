// nanobind reports, as the interpreter ends, every object of ours still alive: a leak. But
// what a daemon thread still running at exit holds (its frames, their objects) is never
// freed, by CPython's design, and would be reported on every such exit. So the report is
// left out when a daemon thread outlives the interpreter's exit, and kept otherwise.
#pragma once

#include <nanobind/nanobind.h>

namespace pyglue {

// Registers, once per module that calls it, the exit hook that decides.
void quiet_leak_reports_if_daemons_outlive_exit();

} // namespace pyglue
