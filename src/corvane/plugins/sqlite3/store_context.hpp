// What every method of one `db` module instance reaches for, looked up once when that
// module is executed. Each module instance has its own (a re-import gets a fresh one);
// nothing is kept in C++ statics.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::store {

namespace nb = nanobind;

struct StoreContext {
    nb::object lock;          // the module's `lock`, shared by every DB of this module
    nb::object connect;       // sqlite3.connect
    nb::object data_frame;    // pandas.DataFrame
    nb::object numpy_int64;   // numpy.int64
    nb::object numpy_empty;   // numpy.empty
    nb::object datetime_type; // datetime.datetime
    bool assertions_enabled;  // false under `python -O`, as for an assert statement
};

} // namespace corvane::store
