// The progress log of the CQG side, and the assertion its waits are checked with.
#pragma once

#include <nanobind/nanobind.h>

#include "combridge_scope.hpp"

namespace corvane::bridge {

// Trace(message): writes "<thread ident>: <message>" with the host's print and flushes
// stdout at once.
void trace(ScopeRef scope, nb::handle message);

// The bridge's own fixed lines.
void trace(ScopeRef scope, const char *message);

// AssertMessage(condition, message): raises RuntimeError(message) unless `condition` is true
// by the host's truth test.
void assert_message(nb::handle condition, nb::handle message);

} // namespace corvane::bridge
