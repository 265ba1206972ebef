// DB's record operations. Each builds its statement from names only (checked to be plain
// identifiers) and binds its values to `?` placeholders; the statement goes through the
// object's own `execute` (select's through the cursor, with its fetch under the same lock).
#pragma once

#include <nanobind/nanobind.h>

#include "db_scope.hpp"

namespace corvane::store {

// DB._parse_sql_value: the value bound for a column.
nb::object db_parse_sql_value(ScopeRef scope, nb::handle self, nb::handle value);

// DB._parse_sql_where_condition: (text, parameters) of the keyword arguments.
nb::object db_parse_sql_where_condition(ScopeRef scope, nb::handle self, nb::kwargs keywords);

void db_delete_table(nb::handle self, nb::handle table_name);

// Rows of `table_name` as a pandas DataFrame.
nb::object db_select_records(ScopeRef scope, nb::handle self, nb::handle table_name,
                             nb::handle columns, nb::kwargs keywords);

void db_update_records(ScopeRef scope, nb::handle self, nb::handle table_name,
                       nb::handle columns, nb::kwargs keywords);

void db_insert_records(ScopeRef scope, nb::handle self, nb::handle table_name,
                       nb::kwargs keywords);

void db_delete_records(ScopeRef scope, nb::handle self, nb::handle table_name,
                       nb::kwargs keywords);

// The four create methods, each creating its table when it does not exist yet.
void db_create_balance_table(nb::handle self);
void db_create_position_table(nb::handle self);
void db_create_order_table(nb::handle self);
void db_create_deal_table(nb::handle self);

} // namespace corvane::store
