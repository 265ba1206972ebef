#include "safe_access.hpp"

#include <vector>

#include "truth.hpp"

namespace pyglue {

nb::object read(nb::handle obj, nb::handle name) {
    PyObject *value = PyObject_GetAttr(obj.ptr(), name.ptr());
    if (!value)
        throw nb::python_error();
    return nb::steal(value);
}

void write(nb::handle obj, nb::handle name, nb::handle value) {
    if (PyObject_SetAttr(obj.ptr(), name.ptr(), value.ptr()) != 0)
        throw nb::python_error();
}

nb::object call_method_with(nb::handle name, const nb::object *self_and_arguments,
                            std::size_t count) {
    constexpr std::size_t kInPlace = 8;
    PyObject *in_place[kInPlace];
    std::vector<PyObject *> on_heap;
    PyObject **raw = in_place;
    if (count > kInPlace) {
        on_heap.resize(count);
        raw = on_heap.data();
    }
    for (std::size_t i = 0; i < count; ++i)
        raw[i] = self_and_arguments[i].ptr();
    PyObject *result = PyObject_VectorcallMethod(name.ptr(), raw, count, nullptr);
    if (!result)
        throw nb::python_error();
    return nb::steal(result);
}

bool equals(nb::handle a, nb::handle b) {
    nb::object result = nb::steal(PyObject_RichCompare(a.ptr(), b.ptr(), Py_EQ));
    if (!result.is_valid())
        throw nb::python_error();
    return is_true(result);
}

} // namespace pyglue
