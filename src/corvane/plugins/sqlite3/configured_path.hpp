// Where the user's configuration puts the database.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::store {

namespace nb = nanobind;

// corvane_config.DB["sqlite3"]: the database directory (text, or None). Any error while
// reading it, and an empty text, becomes a ValueError that names what to configure, chained from that error.
nb::object configured_db_directory();

} // namespace corvane::store
