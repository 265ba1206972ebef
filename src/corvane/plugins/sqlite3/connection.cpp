#include "connection.hpp"

#include "configured_path.hpp"
#include "python_lock.hpp"
#include "safe_access.hpp"
#include "statement_runs.hpp"
#include "type_check.hpp"

namespace corvane::store {

using pyglue::call_method;
using pyglue::read;
using pyglue::write;

void db_init(ScopeRef scope, nb::handle self) {
    nb::object directory = configured_db_directory();
    nb::object path = nb::str(directory) + nb::str("/corvane.db");
    // The engine writes records from whichever thread hands it an event (the gateway's
    // event thread among them), so the connection is not tied to the thread that made it;
    // the module lock serialises every statement run through it.
    nb::object connection = scope.connect(path, nb::arg("check_same_thread") = false);
    write(self, "conn", connection);
    nb::object cursor = call_method(connection, "cursor");
    write(self, "cursor", cursor);
    for (const char *create : {"create_balance_table", "create_position_table",
                               "create_order_table", "create_deal_table"})
        call_method(self, create);
}

void db_close(ScopeRef scope, nb::handle self) {
    pyglue::PythonLockHold hold(scope.lock);
    nb::object cursor = read(self, "cursor");
    call_method(cursor, "close");
    nb::object connection = read(self, "conn");
    call_method(connection, "close");
}

void db_commit(nb::handle self) {
    nb::object connection = read(self, "conn");
    call_method(connection, "commit");
}

void db_execute(ScopeRef scope, nb::handle self, nb::handle sql, nb::handle parameters) {
    pyglue::require_exact_type(sql, &PyUnicode_Type, "sql");
    run_statement(scope, self, sql, parameters);
}

} // namespace corvane::store
