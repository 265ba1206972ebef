#include "safe_access.hpp"

#include "truth.hpp"

namespace pyglue {

nb::object read(nb::handle obj, const char *name) { return nb::getattr(obj, name); }

void write(nb::handle obj, const char *name, nb::handle value) { nb::setattr(obj, name, value); }

bool equals(nb::handle a, nb::handle b) {
    nb::object result = nb::steal(PyObject_RichCompare(a.ptr(), b.ptr(), Py_EQ));
    if (!result.is_valid())
        throw nb::python_error();
    return is_true(result);
}

} // namespace pyglue
