// Module `db`: the SQLite record store plug-in. Loading it imports pandas, numpy and the
// host's sqlite3 and creates the module `lock` that every DB of this module shares.
#include <nanobind/nanobind.h>

#include <memory>

#include "configured_path.hpp"
#include "db_class.hpp"
#include "module_function.hpp"
#include "module_init.hpp"
#include "store_context.hpp"

namespace nb = nanobind;

PYGLUE_MODULE(db, m) {
    nb::object lock = nb::module_::import_("threading").attr("Lock")();
    m.attr("lock") = lock;

    auto context = std::make_shared<corvane::store::StoreContext>();
    context->lock = lock;
    context->connect = nb::module_::import_("sqlite3").attr("connect");
    context->data_frame = nb::module_::import_("pandas").attr("DataFrame");
    nb::module_ numpy = nb::module_::import_("numpy");
    context->numpy_int64 = numpy.attr("int64");
    context->numpy_empty = numpy.attr("empty");
    context->datetime_type = nb::module_::import_("datetime").attr("datetime");
    nb::object optimize = nb::module_::import_("sys").attr("flags").attr("optimize");
    context->assertions_enabled = nb::cast<int>(optimize) == 0;

    pyglue::def_function(m, "_db_path", &corvane::store::configured_db_directory,
                         "The database directory named by corvane_config.DB[\"sqlite3\"].");
    m.attr("DB") = corvane::store::make_db_class(m, std::move(context));
}
