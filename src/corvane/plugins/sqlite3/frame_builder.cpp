#include "frame_builder.hpp"

#include <cstdint>
#include <memory>
#include <vector>

namespace corvane::store {

namespace {

bool rows_are_plain_tuples(nb::handle rows, Py_ssize_t width) {
    if (!PyList_CheckExact(rows.ptr()) || PyList_GET_SIZE(rows.ptr()) == 0)
        return false;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(rows.ptr()); ++i) {
        PyObject *row = PyList_GET_ITEM(rows.ptr(), i);
        if (!PyTuple_CheckExact(row) || PyTuple_GET_SIZE(row) != width)
            return false;
    }
    return true;
}

bool names_are_unique(nb::list names) {
    nb::object unique = nb::steal(PySet_New(names.ptr()));
    if (!unique.is_valid())
        throw nb::python_error();
    return PySet_GET_SIZE(unique.ptr()) == PyList_GET_SIZE(names.ptr());
}

// What a column's values allow: all ints within 64 bits, all floats, or anything else.
struct ColumnKind {
    PyTypeObject *type = nullptr; // the one type of every value so far, or nullptr
    bool mixed = false;

    void see(PyObject *value) {
        if (mixed)
            return;
        if (type == nullptr)
            type = Py_TYPE(value);
        if (Py_TYPE(value) != type || (type != &PyLong_Type && type != &PyFloat_Type)) {
            mixed = true;
        } else if (type == &PyLong_Type) {
            int overflow = 0;
            PyLong_AsLongLongAndOverflow(value, &overflow);
            mixed = overflow != 0;
        }
    }
    bool integers() const { return !mixed && type == &PyLong_Type; }
    bool floats() const { return !mixed && type == &PyFloat_Type; }
};

// One output column: a numpy array written through its buffer, or a tuple of the values.
class ColumnOutput {
public:
    ColumnOutput(ScopeRef scope, const ColumnKind &kind, Py_ssize_t count) {
        if (kind.integers() || kind.floats()) {
            values_ = scope.numpy_empty(count, nb::arg("dtype") =
                                                     kind.integers() ? "int64" : "float64");
            if (PyObject_GetBuffer(values_.ptr(), &view_, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS))
                throw nb::python_error();
            has_view_ = true;
            integers_ = kind.integers();
        } else {
            values_ = nb::steal(PyTuple_New(count));
            if (!values_.is_valid())
                throw nb::python_error();
        }
    }
    ~ColumnOutput() {
        if (has_view_)
            PyBuffer_Release(&view_);
    }
    ColumnOutput(const ColumnOutput &) = delete;
    ColumnOutput &operator=(const ColumnOutput &) = delete;

    void set(Py_ssize_t i, PyObject *value) {
        if (!has_view_) {
            Py_INCREF(value);
            PyTuple_SET_ITEM(values_.ptr(), i, value);
        } else if (integers_) {
            static_cast<std::int64_t *>(view_.buf)[i] = PyLong_AsLongLong(value);
        } else {
            static_cast<double *>(view_.buf)[i] = PyFloat_AS_DOUBLE(value);
        }
    }
    nb::handle values() const { return values_; }

private:
    nb::object values_;
    Py_buffer view_{};
    bool has_view_ = false;
    bool integers_ = false;
};

} // namespace

nb::object frame_from_rows(ScopeRef scope, nb::handle fetched, nb::list names) {
    Py_ssize_t width = static_cast<Py_ssize_t>(names.size());
    if (!rows_are_plain_tuples(fetched, width) || !names_are_unique(names))
        return scope.data_frame(fetched, nb::arg("columns") = names);
    // The rows are read by borrowed pointers while the arrays are made, which runs Python
    // code: read them from a list of our own, which nothing else can change.
    nb::object rows = nb::steal(PyList_GetSlice(fetched.ptr(), 0, PY_SSIZE_T_MAX));
    if (!rows.is_valid())
        throw nb::python_error();

    // Row by row (the order the rows lie in memory): first what each column holds, then
    // the values into their columns.
    Py_ssize_t count = PyList_GET_SIZE(rows.ptr());
    std::vector<ColumnKind> kinds(static_cast<size_t>(width));
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject *row = PyList_GET_ITEM(rows.ptr(), i);
        for (Py_ssize_t j = 0; j < width; ++j)
            kinds[j].see(PyTuple_GET_ITEM(row, j));
    }
    std::vector<std::unique_ptr<ColumnOutput>> outputs;
    for (const ColumnKind &kind : kinds)
        outputs.push_back(std::make_unique<ColumnOutput>(scope, kind, count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject *row = PyList_GET_ITEM(rows.ptr(), i);
        for (Py_ssize_t j = 0; j < width; ++j)
            outputs[j]->set(i, PyTuple_GET_ITEM(row, j));
    }

    nb::dict columns;
    for (Py_ssize_t j = 0; j < width; ++j) {
        nb::object name = names[j];
        columns[name] = outputs[j]->values();
    }
    outputs.clear(); // lets go of the array buffers before pandas takes the arrays
    return scope.data_frame(columns);
}

} // namespace corvane::store
