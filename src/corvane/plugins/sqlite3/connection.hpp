// A DB's connection: opening it with the record tables, running a caller's statement,
// committing and closing.
#pragma once

#include <nanobind/nanobind.h>

#include "db_scope.hpp"

namespace corvane::store {

// DB.__init__: opens corvane.db in the configured directory and creates the record tables.
void db_init(ScopeRef scope, nb::handle self);

void db_close(ScopeRef scope, nb::handle self);

// DB.commit: commits statements run on `cursor` directly.
void db_commit(nb::handle self);

// DB.execute: one statement, committed; a failed one is rolled back first.
void db_execute(ScopeRef scope, nb::handle self, nb::handle sql, nb::handle parameters);

} // namespace corvane::store
