// What the market-data handlers share: the checked CQG symbol argument, counts and indexes
// from CQG collections, the CQG symbol of a full name, and the latest record of a security.
#pragma once

#include <nanobind/nanobind.h>

#include "gatelink_scope.hpp"
#include "hashed_key.hpp"

namespace corvane::gatelink {

// cqg_symbol must be exactly a str (TypeError before anything is done).
void require_cqg_symbol(nb::handle cqg_symbol);

// A Python integer (a collection's Count, an event's count) as a C++ index.
Py_ssize_t as_index(nb::handle value);

// The text after the last "." of a CQG full name, as a str; `what` names a non-text value.
nb::object cqg_symbol_of_name(nb::handle full_name, const char *what);

// records[security] (KeyError for a security not kept), or while it is None a fresh record
// of the module's class `record_class` for the security, stamped with the local time now.
// The security's hash is kept for storing the record's copy back.
nb::object latest_or_new(ScopeRef scope, nb::handle records, pyglue::HashedKey &security,
                         const char *record_class);

} // namespace corvane::gatelink
