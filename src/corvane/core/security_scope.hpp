// The state of one `security` module instance: the imports its classes are built from.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::security {

namespace nb = nanobind;

struct Scope {
    // Made once the module's imports are bound.
    explicit Scope(nb::handle module);

    nb::object exchange; // corvane.core.constants.Exchange, the type of a security's exchange
};

using ScopeRef = const Scope &;

} // namespace corvane::security
