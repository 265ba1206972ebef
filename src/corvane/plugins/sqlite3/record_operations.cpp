#include "record_operations.hpp"

#include <string>
#include <utility>
#include <vector>

#include "checked_names.hpp"
#include "conditions.hpp"
#include "errors.hpp"
#include "frame_builder.hpp"
#include "python_lock.hpp"
#include "record_schema.hpp"
#include "safe_access.hpp"
#include "sql_statements.hpp"
#include "sql_values.hpp"
#include "statement_runs.hpp"
#include "type_check.hpp"

namespace corvane::store {

using pyglue::call_method;
using pyglue::read;

namespace {

// An assert statement's check: skipped under `python -O`.
void check_assertion(ScopeRef scope, bool condition, const char *message) {
    if (scope.assertions_enabled && !condition)
        pyglue::raise_error(PyExc_AssertionError, nb::str(message));
}

// The statement and its fetch form one critical section, so no other thread's statement
// can replace the result in between. Gives the rows and the cursor's description.
std::pair<nb::object, nb::object> run_and_fetch(ScopeRef scope, nb::handle self, nb::handle sql,
                                                nb::handle parameters) {
    pyglue::PythonLockHold hold(scope.lock);
    run_and_commit(self, sql, parameters);
    nb::object cursor = read(self, "cursor");
    try {
        nb::object rows = call_method(cursor, "fetchall");
        nb::object description = read(cursor, "description");
        return {rows, description};
    } catch (...) {
        nb::object connection = read(self, "conn");
        roll_back_after_failure(connection);
        throw;
    }
}

// The first item of each entry of a cursor's description.
nb::list column_names_of(nb::handle description) {
    nb::list column_names;
    for (nb::handle entry : description) {
        nb::object column_name = entry[0];
        column_names.append(column_name);
    }
    return column_names;
}

} // namespace

nb::object db_parse_sql_value(ScopeRef scope, nb::handle, nb::handle value) {
    return bindable_value(scope, value);
}

nb::object db_parse_sql_where_condition(ScopeRef scope, nb::handle, nb::kwargs keywords) {
    Condition condition = build_condition(scope, keywords);
    return nb::make_tuple(as_text(condition.text), condition.parameters);
}

void db_delete_table(nb::handle self, nb::handle table_name) {
    std::string table = checked_table(table_name);
    execute_on(self, drop_table_statement(table));
}

nb::object db_select_records(ScopeRef scope, nb::handle self, nb::handle table_name,
                             nb::handle columns, nb::kwargs keywords) {
    std::string table = checked_table(table_name);
    pyglue::require_exact_type_or_none(columns, &PyList_Type, "columns");
    std::vector<std::string> names;
    if (!columns.is_none())
        for (nb::handle column : nb::list(columns)) // a copy: the caller's may change
            names.push_back(PyUnicode_Check(column.ptr()) && utf8_of(column) == "*"
                                ? std::string("*")
                                : checked_name(column, "column"));
    Condition condition = build_condition(scope, keywords);
    nb::str sql =
        as_text(select_statement(table, views_of(names), columns.is_none(), condition.text));

    auto [rows, description] = run_and_fetch(scope, self, sql, condition.parameters);
    nb::list column_names = column_names_of(description);
    return frame_from_rows(scope, rows, column_names);
}

void db_update_records(ScopeRef scope, nb::handle self, nb::handle table_name,
                       nb::handle columns, nb::kwargs keywords) {
    pyglue::require_exact_type(table_name, &PyUnicode_Type, "table_name");
    pyglue::require_exact_type(columns, &PyDict_Type, "columns");
    nb::dict assignments = nb::borrow<nb::dict>(columns);
    check_assertion(scope, assignments.size() > 0, "At least one column needs to be updated!");
    std::string table = checked_name(table_name, "table");
    ColumnValues values = column_values(scope, assignments);
    Condition condition = build_condition(scope, keywords);
    values.parameters.extend(condition.parameters);
    execute_on(self, update_statement(table, views_of(values.names), condition.text),
               values.parameters);
}

void db_insert_records(ScopeRef scope, nb::handle self, nb::handle table_name,
                       nb::kwargs keywords) {
    pyglue::require_exact_type(table_name, &PyUnicode_Type, "table_name");
    check_assertion(scope, keywords.size() > 0, "Must provide columns and values when inserting!");
    std::string table = checked_name(table_name, "table");
    ColumnValues values = column_values(scope, keywords);
    execute_on(self, insert_statement(table, views_of(values.names)), values.parameters);
}

void db_delete_records(ScopeRef scope, nb::handle self, nb::handle table_name,
                       nb::kwargs keywords) {
    std::string table = checked_table(table_name);
    Condition condition = build_condition(scope, keywords);
    execute_on(self, delete_statement(table, condition.text), condition.parameters);
}

void db_create_balance_table(nb::handle self) { execute_on(self, create_balance_table_sql); }
void db_create_position_table(nb::handle self) { execute_on(self, create_position_table_sql); }
void db_create_order_table(nb::handle self) { execute_on(self, create_order_table_sql); }
void db_create_deal_table(nb::handle self) { execute_on(self, create_deal_table_sql); }

} // namespace corvane::store
