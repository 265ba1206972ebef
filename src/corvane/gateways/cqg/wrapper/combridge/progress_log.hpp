// The progress log of the CQG side, and the assertion its waits are checked with.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::bridge {

namespace nb = nanobind;

// Writes "<thread ident>: <message>" with the host's print and flushes stdout at once.
void Trace(nb::handle message);

// Convenience for the bridge's own fixed lines.
void Trace(const char *message);

// Raises RuntimeError(message) unless `condition` is true by the host's truth test.
void AssertMessage(nb::handle condition, nb::handle message);

} // namespace corvane::bridge
