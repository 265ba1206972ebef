#include "variant.hpp"

#include "com_time.hpp"
#include "interface.hpp"

#include <cstring>
#include <string>

namespace cqgemu {

namespace {

[[noreturn]] void refuse(nb::handle value) {
    std::string text = std::string("Objects of type '") + Py_TYPE(value.ptr())->tp_name +
                       "' can not be converted to a COM VARIANT";
    throw nb::type_error(text.c_str());
}

// VT_I4 or VT_I8 (VT_UI8 for the top half of the unsigned range).
nb::object integer(nb::handle value) {
    int overflow = 0;
    PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow > 0) {
        PyLong_AsUnsignedLongLong(value.ptr());
        if (PyErr_Occurred())
            throw nb::python_error();
    } else if (overflow < 0) {
        PyErr_SetString(PyExc_OverflowError, "int too big to convert");
        throw nb::python_error();
    }
    return PyLong_CheckExact(value.ptr()) ? nb::borrow(value) : nb::int_(value);
}

bool from_module(nb::handle value, const char *module) {
    nb::handle type = nb::handle(reinterpret_cast<PyObject *>(Py_TYPE(value.ptr())));
    PyObject *name = PyObject_GetAttrString(type.ptr(), "__module__");
    if (!name) {
        PyErr_Clear();
        return false;
    }
    nb::object owned = nb::steal(name);
    return PyUnicode_Check(name) && PyUnicode_CompareWithASCIIString(name, module) == 0;
}

bool is_decimal(nb::handle value) {
    nb::object decimal = nb::module_::import_("decimal").attr("Decimal");
    return PyObject_IsInstance(value.ptr(), decimal.ptr()) == 1;
}

// A numpy number (numpy.int64 and its kin) goes in as VT_R8.
bool is_numpy_number(nb::handle value) {
    return from_module(value, "numpy") && PyNumber_Check(value.ptr()) &&
           Py_TYPE(value.ptr())->tp_as_number->nb_float != nullptr;
}

// A value that is already what a VARIANT gives back, so it crosses as it is.
bool already_variant(nb::handle item) {
    PyObject *raw = item.ptr();
    if (PyLong_CheckExact(raw)) {
        // One that fits in 64 bits; the full conversion deals with the others.
        int overflow = 0;
        PyLong_AsLongLongAndOverflow(raw, &overflow);
        return overflow == 0;
    }
    return item.is_none() || PyBool_Check(raw) || PyFloat_CheckExact(raw) ||
           PyUnicode_CheckExact(raw) || is_interface(item);
}

// True when from_variant(item, thread) would give `item` itself.
bool unchanged_on(nb::handle item, unsigned long thread) {
    if (!is_interface(item))
        return !PyTuple_Check(item.ptr());
    return held_interface(item).valid_thread == thread;
}

// Tuples are read by index: they are what every call and event carries, and a Python
// iterator per tuple would cost more than the check itself.
template <class Test> bool every_item(nb::handle tuple, Test test) {
    const Py_ssize_t size = PyTuple_GET_SIZE(tuple.ptr());
    for (Py_ssize_t i = 0; i < size; ++i)
        if (!test(nb::handle(PyTuple_GET_ITEM(tuple.ptr(), i))))
            return false;
    return true;
}

} // namespace

// A Decimal crosses as CY: a 64-bit count of ten-thousandths, the rest cut off (NaN and the
// infinities refused by int() itself, more than 64 bits refused as the VARIANT would). It
// arrives as pywin32 makes it from CY: Decimal(count) / 10000, at most four places.
static nb::object currency(nb::handle value) {
    nb::object scaled = value.attr("scaleb")(4);
    nb::object count = nb::steal(PyNumber_Long(scaled.ptr()));
    if (!count.is_valid())
        throw nb::python_error();
    long long units = 0;
    if (!nb::try_cast<long long>(count, units)) {
        PyErr_SetString(PyExc_OverflowError, "int too big to convert");
        throw nb::python_error();
    }
    nb::object decimal = nb::module_::import_("decimal").attr("Decimal");
    return decimal(count) / decimal(10000);
}

nb::object to_variant(nb::handle value) {
    // An event's arguments are mostly interfaces and plain numbers: such a tuple crosses whole.
    if (PyTuple_CheckExact(value.ptr()) && every_item(value, already_variant))
        return nb::borrow(value);
    PyObject *raw = value.ptr();
    if (value.is_none() || PyBool_Check(raw))
        return nb::borrow(value);
    if (PyLong_Check(raw))
        return integer(value);
    if (PyFloat_Check(raw))
        return PyFloat_CheckExact(raw) ? nb::borrow(value) : nb::float_(value);
    if (PyUnicode_Check(raw))
        return PyUnicode_CheckExact(raw) ? nb::borrow(value) : nb::str(value);
    if (is_interface(value))
        return nb::borrow(value);
    if (PyTuple_Check(raw) || PyList_Check(raw)) {
        nb::list items;
        for (nb::handle item : value)
            items.append(to_variant(item));
        return nb::tuple(items);
    }
    if (PyBytes_Check(raw))
        return nb::borrow(value);
    if (is_datetime(value))
        return com_time_from_datetime(value);
    if (is_decimal(value))
        return currency(value);
    if (is_numpy_number(value))
        return nb::float_(value);
    if (std::optional<Interface> iface = interface_of(value))
        return nb::cast(*iface);
    refuse(value);
}

nb::object from_variant(nb::handle value, unsigned long receiving_thread) {
    if (is_interface(value)) {
        const Interface &iface = held_interface(value);
        if (iface.valid_thread == receiving_thread)
            return nb::borrow(value); // already valid there: no second pointer needed
        return new_interface(Interface{iface.target, receiving_thread});
    }
    if (PyTuple_Check(value.ptr())) {
        if (every_item(value, [&](nb::handle item) { return unchanged_on(item, receiving_thread); }))
            return nb::borrow(value);
        const Py_ssize_t size = PyTuple_GET_SIZE(value.ptr());
        nb::object items = nb::steal(PyTuple_New(size));
        if (!items.is_valid())
            throw nb::python_error();
        for (Py_ssize_t i = 0; i < size; ++i) {
            nb::object item = from_variant(PyTuple_GET_ITEM(value.ptr(), i), receiving_thread);
            PyTuple_SET_ITEM(items.ptr(), i, item.release().ptr());
        }
        return items;
    }
    return nb::borrow(value);
}

std::string bstr_text(nb::handle text) {
    nb::object encoded =
        nb::steal(PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogatepass"));
    if (!encoded.is_valid())
        throw nb::python_error();
    // Copied out before anything else runs.
    return std::string(PyBytes_AS_STRING(encoded.ptr()),
                       static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.ptr())));
}

} // namespace cqgemu
