// Every record operation builds its statement from names only (checked to be plain
// identifiers) and binds its values to `?` placeholders, runs it under the module lock and
// commits it at once. A statement that fails is rolled back before its error goes on, so
// no failed write leaves a transaction holding the database's write lock.
#include "db_class.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "class_builder.hpp"
#include "configured_path.hpp"
#include "frame_builder.hpp"
#include "python_lock.hpp"
#include "record_schema.hpp"
#include "sql_statements.hpp"
#include "sql_values.hpp"
#include "type_check.hpp"

namespace corvane::store {

namespace {

using Context = std::shared_ptr<const StoreContext>;

// ---- names -------------------------------------------------------------------------------

// Statements are built from copies of the names, never from views into the caller's
// strings: converting a value runs the caller's Python code, which may change or empty the
// mapping or list the names came from.
std::string utf8_of(nb::handle text) {
    Py_ssize_t size = 0;
    const char *data = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (!data)
        throw nb::python_error();
    return std::string(data, static_cast<size_t>(size));
}

// The name as UTF-8, once it is known to be a plain identifier; `kind` is "table" or
// "column".
std::string checked_name(nb::handle name, const char *kind) {
    if (!PyUnicode_Check(name.ptr())) {
        PyErr_Format(PyExc_TypeError, "Invalid %s name %R: expected str, got %.200s", kind,
                     name.ptr(), Py_TYPE(name.ptr())->tp_name);
        throw nb::python_error();
    }
    std::string text = utf8_of(name);
    if (!is_plain_identifier(text)) {
        PyErr_Format(PyExc_ValueError,
                     "Invalid %s name %R: a name is a letter or underscore followed by "
                     "letters, digits or underscores",
                     kind, name.ptr());
        throw nb::python_error();
    }
    return text;
}

std::string checked_table(nb::handle table_name) {
    pyglue::require_exact_type(table_name, &PyUnicode_Type, "table_name");
    return checked_name(table_name, "table");
}

std::vector<std::string_view> views_of(const std::vector<std::string> &names) {
    return std::vector<std::string_view>(names.begin(), names.end());
}

// The mapping's (name, value) pairs as a list of our own, taken before any value is
// converted: the statement is for what the caller passed, and no entry can be freed under
// us if the caller's code empties the mapping meanwhile.
nb::list entries_of(nb::dict mapping) {
    nb::object entries = nb::steal(PyDict_Items(mapping.ptr()));
    if (!entries.is_valid())
        throw nb::python_error();
    return nb::borrow<nb::list>(entries);
}

void check_assertion(const StoreContext &context, bool condition, const char *message) {
    if (context.assertions_enabled && !condition) {
        PyErr_SetString(PyExc_AssertionError, message);
        throw nb::python_error();
    }
}

// ---- running statements ------------------------------------------------------------------

// Undoes whatever the failed statement began. The statement's own error is the one the
// caller sees, so an error of the rollback itself (a closed connection) is dropped.
void roll_back_after_failure(nb::handle connection) {
    try {
        connection.attr("rollback")();
    } catch (nb::python_error &) {
    }
}

void run_and_commit(nb::handle self, nb::handle sql, nb::handle parameters) {
    nb::object cursor = self.attr("cursor");
    nb::object connection = self.attr("conn");
    try {
        if (parameters.is_valid() && !parameters.is_none())
            cursor.attr("execute")(sql, parameters);
        else
            cursor.attr("execute")(sql);
        connection.attr("commit")();
    } catch (...) {
        roll_back_after_failure(connection);
        throw;
    }
}

// One statement and its commit, under the module lock.
void run_statement(const StoreContext &context, nb::handle self, nb::handle sql,
                   nb::handle parameters = nb::handle()) {
    pyglue::PythonLockHold hold(context.lock);
    run_and_commit(self, sql, parameters);
}

nb::str as_text(const std::string &sql) { return nb::str(sql.data(), sql.size()); }

// Record operations and the create methods hand their statement to the object's own
// `execute`, so a subclass that overrides it sees every statement but select's.
void execute_on(nb::handle self, const std::string &sql, nb::handle parameters = nb::handle()) {
    nb::object execute = self.attr("execute");
    if (parameters.is_valid())
        execute(as_text(sql), parameters);
    else
        execute(as_text(sql));
}

// ---- conditions --------------------------------------------------------------------------

struct Condition {
    std::string text;  // "" or "WHERE a=? AND <raw> "
    nb::list parameters;
};

// `condition_str` is the caller's own SQL, used unchanged; every other keyword is a
// column compared for equality with its bound value.
Condition build_condition(const StoreContext &context, nb::dict keywords) {
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
            condition.parameters.append(bindable_column_value(context, texts.back(), value));
        }
        raw.push_back(is_raw);
    }
    std::vector<ConditionTerm> terms;
    for (size_t i = 0; i < texts.size(); ++i)
        terms.push_back({raw[i], texts[i]});
    condition.text = where_clause(terms);
    return condition;
}

// Checked column names and their values to bind, in the mapping's order.
struct ColumnValues {
    std::vector<std::string> names;
    nb::list parameters;
};

ColumnValues column_values(const StoreContext &context, nb::dict columns) {
    ColumnValues values;
    for (nb::handle entry : entries_of(columns)) {
        values.names.push_back(checked_name(PyTuple_GET_ITEM(entry.ptr(), 0), "column"));
        values.parameters.append(
            bindable_column_value(context, values.names.back(), PyTuple_GET_ITEM(entry.ptr(), 1)));
    }
    return values;
}

// ---- the methods -------------------------------------------------------------------------

void db_init(const StoreContext &context, nb::handle self) {
    nb::object directory = configured_db_directory();
    nb::object path = nb::str(directory) + nb::str("/corvane.db");
    // The engine writes records from whichever thread hands it an event (the gateway's
    // event thread among them), so the connection is not tied to the thread that made it;
    // the module lock serialises every statement run through it.
    nb::object connection = context.connect(path, nb::arg("check_same_thread") = false);
    nb::setattr(self, "conn", connection);
    nb::setattr(self, "cursor", connection.attr("cursor")());
    for (const char *create : {"create_balance_table", "create_position_table",
                               "create_order_table", "create_deal_table"})
        self.attr(create)();
}

void db_close(const StoreContext &context, nb::handle self) {
    pyglue::PythonLockHold hold(context.lock);
    self.attr("cursor").attr("close")();
    self.attr("conn").attr("close")();
}

void db_execute(const StoreContext &context, nb::handle self, nb::handle sql,
                nb::handle parameters) {
    pyglue::require_exact_type(sql, &PyUnicode_Type, "sql");
    run_statement(context, self, sql, parameters);
}

nb::object db_parse_sql_where_condition(const StoreContext &context, nb::kwargs keywords) {
    Condition condition = build_condition(context, keywords);
    return nb::make_tuple(as_text(condition.text), condition.parameters);
}

void db_delete_table(nb::handle self, nb::handle table_name) {
    std::string table = checked_table(table_name);
    execute_on(self, drop_table_statement(table));
}

nb::object db_select_records(const StoreContext &context, nb::handle self,
                             nb::handle table_name, nb::handle columns, nb::kwargs keywords) {
    std::string table = checked_table(table_name);
    pyglue::require_exact_type_or_none(columns, &PyList_Type, "columns");
    std::vector<std::string> names;
    if (!columns.is_none())
        for (nb::handle column : nb::list(columns)) // a copy: the caller's may change
            names.push_back(PyUnicode_Check(column.ptr()) && utf8_of(column) == "*"
                                ? std::string("*")
                                : checked_name(column, "column"));
    Condition condition = build_condition(context, keywords);
    nb::str sql =
        as_text(select_statement(table, views_of(names), columns.is_none(), condition.text));

    // The statement and its fetch form one critical section, so no other thread's
    // statement can replace the result in between.
    nb::object rows, description;
    {
        pyglue::PythonLockHold hold(context.lock);
        run_and_commit(self, sql, condition.parameters);
        nb::object cursor = self.attr("cursor");
        try {
            rows = cursor.attr("fetchall")();
            description = cursor.attr("description");
        } catch (...) {
            roll_back_after_failure(self.attr("conn"));
            throw;
        }
    }
    nb::list column_names;
    for (nb::handle entry : description) {
        nb::object column_name = entry[0];
        column_names.append(column_name);
    }
    return frame_from_rows(context, rows, column_names);
}

void db_update_records(const StoreContext &context, nb::handle self, nb::handle table_name,
                       nb::handle columns, nb::kwargs keywords) {
    pyglue::require_exact_type(table_name, &PyUnicode_Type, "table_name");
    pyglue::require_exact_type(columns, &PyDict_Type, "columns");
    nb::dict assignments = nb::borrow<nb::dict>(columns);
    check_assertion(context, assignments.size() > 0,
                    "At least one column needs to be updated!");
    std::string table = checked_name(table_name, "table");
    ColumnValues values = column_values(context, assignments);
    Condition condition = build_condition(context, keywords);
    values.parameters.extend(condition.parameters);
    execute_on(self, update_statement(table, views_of(values.names), condition.text),
               values.parameters);
}

void db_insert_records(const StoreContext &context, nb::handle self, nb::handle table_name,
                       nb::kwargs keywords) {
    pyglue::require_exact_type(table_name, &PyUnicode_Type, "table_name");
    check_assertion(context, keywords.size() > 0,
                    "Must provide columns and values when inserting!");
    std::string table = checked_name(table_name, "table");
    ColumnValues values = column_values(context, keywords);
    execute_on(self, insert_statement(table, views_of(values.names)), values.parameters);
}

void db_delete_records(const StoreContext &context, nb::handle self, nb::handle table_name,
                       nb::kwargs keywords) {
    std::string table = checked_table(table_name);
    Condition condition = build_condition(context, keywords);
    execute_on(self, delete_statement(table, condition.text), condition.parameters);
}

const char *const where_doc =
    "Condition for the keyword arguments: (text, parameters). The text is \"\" or "
    "\"WHERE name=? AND ... \" and the parameters are the values to bind, in order.\n\n"
    "A keyword named `condition_str` is the caller's own trusted SQL, copied into the "
    "condition unchanged (so a comparison other than equality can be written); never "
    "build it from outside input.";

} // namespace

nb::object make_db_class(nb::handle module, Context context) {
    pyglue::ClassBuilder db(module, "DB", nb::tuple(),
                            "The SQLite record store: balances, positions, orders and deals.");
    db.def("__init__", [context](nb::handle self) { db_init(*context, self); },
           "Opens corvane.db in the configured directory and creates the record tables.")
        .def("close", [context](nb::handle self) { db_close(*context, self); })
        .def("commit", [](nb::handle self) { self.attr("conn").attr("commit")(); },
             "Commits statements run on `cursor` directly.")
        .def("execute",
             [context](nb::handle self, nb::handle sql, nb::handle parameters) {
                 db_execute(*context, self, sql, parameters);
             },
             nb::arg("sql").none(), nb::arg("parameters").none() = nb::none(),
             "Runs one statement and commits it; a failed one is rolled back first.")
        .def("_parse_sql_value",
             [context](nb::handle, nb::handle value) { return bindable_value(*context, value); },
             nb::arg("value").none(),
             "The value bound for a column: text unchanged, a datetime as "
             "\"%Y-%m-%d %H:%M:%S\" text, an integer (bool, numpy.int64) as int, a float as "
             "float.")
        .def("_parse_sql_where_condition",
             [context](nb::handle, nb::kwargs keywords) {
                 return db_parse_sql_where_condition(*context, keywords);
             },
             where_doc)
        .def("delete_table",
             [](nb::handle self, nb::handle table_name) { db_delete_table(self, table_name); },
             nb::arg("table_name").none())
        .def("select_records",
             [context](nb::handle self, nb::handle table_name, nb::handle columns,
                       nb::kwargs keywords) {
                 return db_select_records(*context, self, table_name, columns, keywords);
             },
             nb::arg("table_name").none(), nb::arg("columns").none() = nb::none(),
             nb::arg("kwargs"),
             "Rows of `table_name` as a pandas DataFrame. Keyword arguments are the "
             "condition; a keyword named `condition_str` is the caller's own trusted SQL, "
             "used unchanged.")
        .def("update_records",
             [context](nb::handle self, nb::handle table_name, nb::handle columns,
                       nb::kwargs keywords) {
                 db_update_records(*context, self, table_name, columns, keywords);
             },
             nb::arg("table_name").none(), nb::arg("columns").none(), nb::arg("kwargs"),
             "Sets `columns` (name to value) in the rows matching the keyword arguments; a "
             "keyword named `condition_str` is the caller's own trusted SQL, used unchanged.")
        .def("insert_records",
             [context](nb::handle self, nb::handle table_name, nb::kwargs keywords) {
                 db_insert_records(*context, self, table_name, keywords);
             },
             nb::arg("table_name").none(), nb::arg("kwargs"),
             "Inserts one row: each keyword argument is a column and its value.")
        .def("delete_records",
             [context](nb::handle self, nb::handle table_name, nb::kwargs keywords) {
                 db_delete_records(*context, self, table_name, keywords);
             },
             nb::arg("table_name").none(), nb::arg("kwargs"),
             "Deletes the rows matching the keyword arguments (every row without any); a "
             "keyword named `condition_str` is the caller's own trusted SQL, used unchanged.");

    struct CreateMethod {
        const char *name;
        const char *sql;
    };
    for (CreateMethod create : {CreateMethod{"create_balance_table", create_balance_table_sql},
                                CreateMethod{"create_position_table", create_position_table_sql},
                                CreateMethod{"create_order_table", create_order_table_sql},
                                CreateMethod{"create_deal_table", create_deal_table_sql}}) {
        const char *sql = create.sql;
        db.def(create.name, [sql](nb::handle self) { execute_on(self, sql); });
    }
    return db.get();
}

} // namespace corvane::store
