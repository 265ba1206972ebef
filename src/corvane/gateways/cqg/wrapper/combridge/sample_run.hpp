// Start: a complete run of a sample application between start-up and shut-down.
#pragma once

#include <nanobind/nanobind.h>

#include "combridge_state.hpp"

namespace corvane::bridge {

void start(StateRef state, nb::handle sampleClassType, nb::handle customConfiguration);

} // namespace corvane::bridge
