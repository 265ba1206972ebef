#include "sql_statements.hpp"

namespace corvane::store {

namespace {

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

void append_joined(std::string &out, const std::vector<std::string_view> &items,
                   std::string_view item_suffix, char separator) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += separator;
        out += items[i];
        out += item_suffix;
    }
}

} // namespace

bool is_plain_identifier(std::string_view name) {
    if (name.empty() || !(is_ascii_letter(name[0]) || name[0] == '_'))
        return false;
    for (char c : name.substr(1))
        if (!(is_ascii_letter(c) || is_ascii_digit(c) || c == '_'))
            return false;
    return true;
}

std::string where_clause(const std::vector<ConditionTerm> &terms) {
    std::string out;
    if (terms.empty())
        return out;
    out += "WHERE ";
    for (size_t i = 0; i < terms.size(); ++i) {
        if (i > 0)
            out += "AND ";
        out += terms[i].text;
        if (!terms[i].raw)
            out += "=?";
        out += ' ';
    }
    return out;
}

std::string insert_statement(std::string_view table, const std::vector<std::string_view> &columns) {
    std::string out;
    size_t size = table.size() + 30 + 3 * columns.size();
    for (std::string_view column : columns)
        size += column.size();
    out.reserve(size);
    out += "INSERT INTO ";
    out += table;
    out += " (";
    append_joined(out, columns, "", ',');
    out += ") VALUES (";
    for (size_t i = 0; i < columns.size(); ++i)
        out += i > 0 ? ",?" : "?";
    out += ')';
    return out;
}

std::string update_statement(std::string_view table, const std::vector<std::string_view> &columns,
                             std::string_view where) {
    // Assignments are separated by a space and a comma: "SET a=? ,b=? ".
    std::string out = "UPDATE ";
    out += table;
    out += ' ';
    for (size_t i = 0; i < columns.size(); ++i) {
        out += i == 0 ? "SET " : ",";
        out += columns[i];
        out += "=? ";
    }
    out += where;
    return out;
}

std::string select_statement(std::string_view table, const std::vector<std::string_view> &columns,
                             bool all_columns, std::string_view where) {
    std::string out = "SELECT ";
    if (all_columns)
        out += '*';
    else
        append_joined(out, columns, "", ',');
    out += " FROM ";
    out += table;
    out += ' ';
    out += where;
    return out;
}

std::string delete_statement(std::string_view table, std::string_view where) {
    std::string out = "DELETE FROM ";
    out += table;
    out += ' ';
    out += where;
    return out;
}

std::string drop_table_statement(std::string_view table) {
    std::string out = "DROP TABLE ";
    out += table;
    return out;
}

} // namespace corvane::store
