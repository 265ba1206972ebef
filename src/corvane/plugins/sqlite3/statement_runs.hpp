// Running one statement on a DB's cursor: under the module lock, committed at once, and
// rolled back before its error goes on, so no failed write leaves a transaction holding the
// database's write lock.
#pragma once

#include <nanobind/nanobind.h>

#include <string>

#include "db_scope.hpp"

namespace corvane::store {

// Undoes whatever a failed statement began. The statement's own error is the one the
// caller sees, so an error of the rollback itself (a closed connection) is dropped.
void roll_back_after_failure(nb::handle connection);

// self.cursor.execute(sql[, parameters]) and self.conn.commit(); the caller holds the lock.
void run_and_commit(nb::handle self, nb::handle sql, nb::handle parameters);

// One statement and its commit, under the module lock.
void run_statement(ScopeRef scope, nb::handle self, nb::handle sql,
                   nb::handle parameters = nb::handle());

nb::str as_text(const std::string &sql);

// Record operations and the create methods hand their statement to the object's own
// `execute`, so a subclass that overrides it sees every statement but select's.
void execute_on(nb::handle self, const std::string &sql, nb::handle parameters = nb::handle());

} // namespace corvane::store
