#include "container_protocol.hpp"

#include "com_errors.hpp"
#include "dispatch.hpp"
#include "interface.hpp"

#include <string>

namespace cqgemu {

namespace {

// The iterator `iter(obj)` gives: one `Next()` on the enumerator per item.
struct ComIterator {
    Interface enumerator;
    const Member *next; // the enumerator's
};

PyTypeObject *iterator_type = nullptr; // set once the type is defined

const Interface &interface_of_wrapper(nb::handle self) {
    if (!is_wrapper(self))
        return nb::cast<const DispatchWrapper &>(self).iface; // nanobind's error for the rest
    return nb::inst_ptr<DispatchWrapper>(self)->iface;
}

[[noreturn]] void raise_type_error(const std::string &text) {
    PyErr_SetString(PyExc_TypeError, text.c_str());
    throw nb::python_error();
}

nb::object iterate(nb::handle self) {
    const Interface &iface = interface_of_wrapper(self);
    const Member *new_enum = iface.target->members().find("_NewEnum");
    if (!new_enum)
        raise_type_error("This object does not support enumeration");
    nb::object enumerator;
    try {
        enumerator = invoke(iface, Operation::Call, *new_enum, nb::tuple());
    } catch (nb::python_error &error) {
        // As the platform does: a collection whose enumerator cannot be had is not iterable.
        if (!error.matches(com_error_type()))
            throw;
        raise_type_error("This object does not support enumeration");
    }
    std::optional<Interface> found = interface_of(enumerator);
    const Member *next = found ? found->target->members().find("Next") : nullptr;
    if (!next || !next->is_method())
        raise_type_error("This object does not support enumeration");
    return new_instance(iterator_type, ComIterator{std::move(*found), next});
}

// The iterator's tp_iternext: the end of the items is a plain null result, without an
// exception thrown per loop (iterating the quotes of every event ends there once).
PyObject *next_item(PyObject *self) noexcept {
    try {
        const ComIterator &iterator = *nb::inst_ptr<ComIterator>(self);
        nb::object item = invoke(iterator.enumerator, Operation::Call, *iterator.next, nb::tuple());
        if (item.is_none())
            return nullptr;
        return wrap_result(std::move(item)).release().ptr();
    } catch (nb::python_error &error) {
        error.restore();
    } catch (const std::exception &error) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
    }
    return nullptr;
}

PyType_Slot iterator_slots[] = {{Py_tp_iternext, reinterpret_cast<void *>(&next_item)},
                                {0, nullptr}};

Py_ssize_t length(nb::handle self) {
    const Interface &iface = interface_of_wrapper(self);
    const Member *count = iface.target->members().find("Count");
    if (!count)
        raise_type_error("This dispatch object does not define a Count method");
    nb::object value = count->is_method()
                           ? invoke(iface, Operation::Call, *count, nb::tuple())
                           : invoke(iface, Operation::Get, *count, nb::none());
    return nb::cast<Py_ssize_t>(value);
}

// `refusal` completes the TypeError for an object without a default member.
nb::object call_default(nb::handle self, nb::tuple args, const char *refusal) {
    const Interface &iface = interface_of_wrapper(self);
    const Member *member = iface.target->members().default_member();
    if (!member)
        raise_type_error(std::string("'") + iface.target->type_name() + "' object " + refusal);
    if (!member->is_method())
        return wrap_result(invoke(iface, Operation::Get, *member, nb::none()));
    return wrap_result(invoke(iface, Operation::Call, *member, std::move(args)));
}

} // namespace

PyObject *iterate_slot(PyObject *self) noexcept {
    try {
        return iterate(self).release().ptr();
    } catch (nb::python_error &error) {
        error.restore();
    } catch (const std::exception &error) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
    }
    return nullptr;
}

Py_ssize_t length_slot(PyObject *self) noexcept {
    try {
        return length(self);
    } catch (nb::python_error &error) {
        error.restore();
    } catch (const std::exception &error) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
    }
    return -1;
}

int truth_slot(PyObject *) noexcept { return 1; }

void define_container_protocol(nb::module_ &module) {
    nb::class_<ComIterator>(module, "COMIterator", nb::type_slots(iterator_slots), nb::pooled())
        .def("__iter__", [](nb::handle self) { return nb::borrow(self); });
    iterator_type = reinterpret_cast<PyTypeObject *>(nb::type<ComIterator>().ptr());

    for (nb::object wrapper : {nb::borrow(nb::type<DispatchWrapper>()),
                               nb::borrow(nb::type<GeneratedWrapper>())}) {
        wrapper.attr("__call__") = nb::cpp_function(
            [](nb::handle self, nb::args args) {
                return call_default(self, args, "is not callable");
            },
            nb::is_method());
        wrapper.attr("__getitem__") = nb::cpp_function(
            [](nb::handle self, nb::handle key) {
                return call_default(self, nb::make_tuple(key), "is not subscriptable");
            },
            nb::is_method());
    }
}

} // namespace cqgemu
