// The state of one `db` module instance: what every method of its DB class reaches for,
// looked up once when that module is executed. Each module instance has its own (a
// re-import gets a fresh one); nothing is kept in C++ statics.
#pragma once

#include <nanobind/nanobind.h>

#include <memory>

namespace corvane::store {

namespace nb = nanobind;

struct Scope {
    // Imports what the methods use; a failure fails the module's import.
    explicit Scope(nb::handle module_lock);

    nb::object lock;          // the module's `lock`, shared by every DB of this module
    nb::object connect;       // sqlite3.connect
    nb::object data_frame;    // pandas.DataFrame
    nb::object numpy_int64;   // numpy.int64
    nb::object numpy_empty;   // numpy.empty
    nb::object datetime_type; // datetime.datetime
    bool assertions_enabled;  // false under `python -O`, as for an assert statement
};

using ScopeRef = const Scope &;
using SharedScope = std::shared_ptr<const Scope>;

} // namespace corvane::store
