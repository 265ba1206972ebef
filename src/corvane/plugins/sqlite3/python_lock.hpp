// Holds a Python lock (threading.Lock) for one scope. The lock's own acquire() lets go of
// the GIL while it waits, so a thread blocked here never stalls the others.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane_db {

namespace nb = nanobind;

class PythonLockHold {
public:
    explicit PythonLockHold(nb::handle lock);
    ~PythonLockHold();
    PythonLockHold(const PythonLockHold &) = delete;
    PythonLockHold &operator=(const PythonLockHold &) = delete;

private:
    nb::handle lock_;
};

} // namespace corvane_db
