// The shapes of the statements the record store runs, as plain text. Values never appear
// here: every value is a `?` placeholder bound by the caller, so only names and the
// caller's own trusted condition text reach the SQL.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::store {

// A letter or underscore, then letters, digits or underscores (ASCII only).
bool is_plain_identifier(std::string_view name);

// One term of a WHERE clause: either "column=?" or a raw condition used unchanged.
struct ConditionTerm {
    bool raw;              // true: `text` is the caller's own SQL condition
    std::string_view text; // the column name, or the raw condition
};

// "" without terms; else "WHERE " + terms joined by "AND ", each followed by one space.
std::string where_clause(const std::vector<ConditionTerm> &terms);

// "INSERT INTO t (a,b) VALUES (?,?)"
std::string insert_statement(std::string_view table, const std::vector<std::string_view> &columns);

// "UPDATE t SET a=? ,b=? " + where
std::string update_statement(std::string_view table, const std::vector<std::string_view> &columns,
                             std::string_view where);

// "SELECT a,b FROM t " + where; an empty column list selects "*".
std::string select_statement(std::string_view table, const std::vector<std::string_view> &columns,
                             bool all_columns, std::string_view where);

// "DELETE FROM t " + where
std::string delete_statement(std::string_view table, std::string_view where);

// "DROP TABLE t"
std::string drop_table_statement(std::string_view table);

} // namespace corvane::store
