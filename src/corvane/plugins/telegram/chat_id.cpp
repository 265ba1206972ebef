#include "chat_id.hpp"

namespace corvane::telegram {

std::optional<nb::object> chat_id_as_int(nb::handle value) {
    if (PyLong_CheckExact(value.ptr()))
        return nb::borrow(value);
    PyObject *converted = nullptr;
    if (PyLong_Check(value.ptr()) || PyFloat_Check(value.ptr()))
        converted = PyNumber_Long(value.ptr());
    else if (PyIndex_Check(value.ptr()))
        converted = PyNumber_Index(value.ptr());
    else
        return std::nullopt;
    if (!converted)
        throw nb::python_error();
    return nb::steal(converted);
}

} // namespace corvane::telegram
