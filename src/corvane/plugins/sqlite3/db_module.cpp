// Module `db`: the SQLite record store plug-in. Loading it imports pandas, numpy and the
// host's sqlite3 and creates the module `lock` that every DB of this module shares. Each
// concern (the connection, the record operations, the conditions, the values bound, the
// frames made of rows) is a file of plain functions; this file lays out the module and
// holds the one ordered table of DB's methods.
#include <nanobind/nanobind.h>

#include <memory>

#include "class_builder.hpp"
#include "configured_path.hpp"
#include "connection.hpp"
#include "db_scope.hpp"
#include "module_function.hpp"
#include "module_imports.hpp"
#include "module_init.hpp"
#include "record_operations.hpp"
#include "safe_access.hpp"
#include "with_context.hpp"

namespace nb = nanobind;

namespace {

const char *const where_doc =
    "Condition for the keyword arguments: (text, parameters). The text is \"\" or "
    "\"WHERE name=? AND ... \" and the parameters are the values to bind, in order.\n\n"
    "A keyword named `condition_str` is the caller's own trusted SQL, copied into the "
    "condition unchanged (so a comparison other than equality can be written); never "
    "build it from outside input.";

nb::object make_lock() {
    nb::object Lock = pyglue::import_name("threading", "Lock");
    return Lock();
}

nb::object make_db(nb::module_ &m, corvane::store::SharedScope scope) {
    using namespace corvane::store;
    using pyglue::with_context;

    pyglue::ClassBuilder cls(m, "DB", nb::tuple(),
                             "The SQLite record store: balances, positions, orders and deals.");
    // DB's methods, in the order the class defines them.
    cls.def("__init__", with_context(scope, &db_init),
            "Opens corvane.db in the configured directory and creates the record tables.")
        .def("close", with_context(scope, &db_close))
        .def("commit", &db_commit, "Commits statements run on `cursor` directly.")
        .def("execute", with_context(scope, &db_execute), nb::arg("sql").none(),
             nb::arg("parameters").none() = nb::none(),
             "Runs one statement and commits it; a failed one is rolled back first.")
        .def("_parse_sql_value", with_context(scope, &db_parse_sql_value),
             nb::arg("value").none(),
             "The value bound for a column: text unchanged, a datetime as "
             "\"%Y-%m-%d %H:%M:%S\" text, an integer (bool, numpy.int64) as int, a float as "
             "float.")
        .def("_parse_sql_where_condition", with_context(scope, &db_parse_sql_where_condition),
             where_doc)
        .def("delete_table", &db_delete_table, nb::arg("table_name").none())
        .def("select_records", with_context(scope, &db_select_records),
             nb::arg("table_name").none(), nb::arg("columns").none() = nb::none(),
             nb::arg("kwargs"),
             "Rows of `table_name` as a pandas DataFrame. Keyword arguments are the "
             "condition; a keyword named `condition_str` is the caller's own trusted SQL, "
             "used unchanged.")
        .def("update_records", with_context(scope, &db_update_records),
             nb::arg("table_name").none(), nb::arg("columns").none(), nb::arg("kwargs"),
             "Sets `columns` (name to value) in the rows matching the keyword arguments; a "
             "keyword named `condition_str` is the caller's own trusted SQL, used unchanged.")
        .def("insert_records", with_context(scope, &db_insert_records),
             nb::arg("table_name").none(), nb::arg("kwargs"),
             "Inserts one row: each keyword argument is a column and its value.")
        .def("delete_records", with_context(scope, &db_delete_records),
             nb::arg("table_name").none(), nb::arg("kwargs"),
             "Deletes the rows matching the keyword arguments (every row without any); a "
             "keyword named `condition_str` is the caller's own trusted SQL, used unchanged.")
        .def("create_balance_table", &db_create_balance_table)
        .def("create_position_table", &db_create_position_table)
        .def("create_order_table", &db_create_order_table)
        .def("create_deal_table", &db_create_deal_table);
    return cls.get();
}

} // namespace

PYGLUE_MODULE(db, m) {
    nb::object lock = make_lock();
    pyglue::write(m, "lock", lock);
    auto scope = std::make_shared<const corvane::store::Scope>(lock);
    pyglue::def_function(m, "_db_path", &corvane::store::configured_db_directory,
                         "The database directory named by corvane_config.DB[\"sqlite3\"].");
    nb::object db = make_db(m, std::move(scope));
    pyglue::write(m, "DB", db);
}
