#include "statement_runs.hpp"

#include "python_lock.hpp"
#include "safe_access.hpp"

namespace corvane::store {

using pyglue::call_method;
using pyglue::read;

void roll_back_after_failure(nb::handle connection) {
    try {
        call_method(connection, "rollback");
    } catch (nb::python_error &) {
    }
}

void run_and_commit(nb::handle self, nb::handle sql, nb::handle parameters) {
    nb::object cursor = read(self, "cursor");
    nb::object connection = read(self, "conn");
    try {
        if (parameters.is_valid() && !parameters.is_none())
            call_method(cursor, "execute", sql, parameters);
        else
            call_method(cursor, "execute", sql);
        call_method(connection, "commit");
    } catch (...) {
        roll_back_after_failure(connection);
        throw;
    }
}

void run_statement(ScopeRef scope, nb::handle self, nb::handle sql, nb::handle parameters) {
    pyglue::PythonLockHold hold(scope.lock);
    run_and_commit(self, sql, parameters);
}

nb::str as_text(const std::string &sql) { return nb::str(sql.data(), sql.size()); }

void execute_on(nb::handle self, const std::string &sql, nb::handle parameters) {
    nb::str text = as_text(sql);
    if (parameters.is_valid())
        call_method(self, "execute", text, parameters);
    else
        call_method(self, "execute", text);
}

} // namespace corvane::store
