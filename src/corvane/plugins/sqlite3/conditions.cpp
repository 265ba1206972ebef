#include "conditions.hpp"

#include "checked_names.hpp"
#include "sql_statements.hpp"
#include "sql_values.hpp"

namespace corvane::store {

Condition build_condition(ScopeRef scope, nb::dict keywords) {
    Condition condition;
    std::vector<bool> raw;
    std::vector<std::string> texts; // column names and raw conditions, in keyword order
    for (nb::handle entry : entries_of(keywords)) {
        nb::handle name = PyTuple_GET_ITEM(entry.ptr(), 0);
        nb::handle value = PyTuple_GET_ITEM(entry.ptr(), 1);
        bool is_raw = utf8_of(name) == "condition_str";
        if (is_raw) {
            texts.push_back(utf8_of(nb::str(value)));
        } else {
            texts.push_back(checked_name(name, "column"));
            condition.parameters.append(bindable_column_value(scope, texts.back(), value));
        }
        raw.push_back(is_raw);
    }
    std::vector<ConditionTerm> terms;
    for (size_t i = 0; i < texts.size(); ++i)
        terms.push_back({raw[i], texts[i]});
    condition.text = where_clause(terms);
    return condition;
}

ColumnValues column_values(ScopeRef scope, nb::dict columns) {
    ColumnValues values;
    for (nb::handle entry : entries_of(columns)) {
        values.names.push_back(checked_name(PyTuple_GET_ITEM(entry.ptr(), 0), "column"));
        values.parameters.append(
            bindable_column_value(scope, values.names.back(), PyTuple_GET_ITEM(entry.ptr(), 1)));
    }
    return values;
}

} // namespace corvane::store
