// Holds a Python lock (threading.Lock) for one scope, as `with lock:` does. The lock's own
// acquire() lets go of the GIL while it waits, so a thread blocked here never stalls the
// others.
#pragma once

#include <nanobind/nanobind.h>

namespace pyglue {

namespace nb = nanobind;

class PythonLockHold {
public:
    explicit PythonLockHold(nb::handle lock);
    ~PythonLockHold();
    PythonLockHold(const PythonLockHold &) = delete;
    PythonLockHold &operator=(const PythonLockHold &) = delete;

private:
    nb::object lock_;
};

} // namespace pyglue
