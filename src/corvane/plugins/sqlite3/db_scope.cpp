#include "db_scope.hpp"

#include "module_imports.hpp"
#include "safe_access.hpp"

namespace corvane::store {

namespace {

bool assertions_are_enabled() {
    nb::object flags = pyglue::import_name("sys", "flags");
    nb::object optimize = pyglue::read(flags, "optimize");
    return nb::cast<int>(optimize) == 0;
}

} // namespace

Scope::Scope(nb::handle module_lock)
    : lock(nb::borrow(module_lock)), connect(pyglue::import_name("sqlite3", "connect")),
      data_frame(pyglue::import_name("pandas", "DataFrame")),
      numpy_int64(pyglue::import_name("numpy", "int64")),
      numpy_empty(pyglue::import_name("numpy", "empty")),
      datetime_type(pyglue::import_name("datetime", "datetime")),
      assertions_enabled(assertions_are_enabled()) {}

} // namespace corvane::store
