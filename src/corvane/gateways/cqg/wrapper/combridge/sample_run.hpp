// Start: a complete run of a sample application between start-up and shut-down.
#pragma once

#include <nanobind/nanobind.h>

#include "combridge_scope.hpp"

namespace corvane::bridge {

void start(ScopeRef scope, nb::handle sampleClassType, nb::handle customConfiguration);

} // namespace corvane::bridge
