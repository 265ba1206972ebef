// Security and its kinds as frozen dataclasses built from C++.
#pragma once

#include <nanobind/nanobind.h>

#include "security_scope.hpp"

namespace corvane::security {

// Security: six fields, compared and hashed by value identity (value_identity.hpp).
nb::object make_security(nb::module_ &m, ScopeRef scope);

// A kind (Stock, Currency, ...) of `security`, with its own lot size and exchange as the
// defaults; it compares and hashes as an ordinary record, over all six fields.
nb::object make_kind(nb::module_ &m, nb::handle security, const char *name, const char *doc,
                     int lot_size, nb::handle exchange);

} // namespace corvane::security
