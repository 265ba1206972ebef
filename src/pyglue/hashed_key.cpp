#include "hashed_key.hpp"

#include "internals.hpp"

namespace pyglue {

bool HashedKey::known_hash_for(nb::handle mapping) {
    if (!PyDict_CheckExact(mapping.ptr()))
        return false;
    if (hash_ == -1) {
        hash_ = PyObject_Hash(key_.ptr());
        if (hash_ == -1)
            throw nb::python_error();
    }
    return true;
}

nb::object HashedKey::item_of(nb::handle mapping) {
    if (known_hash_for(mapping)) {
        PyObject *found = internals::dict_item_with_hash(mapping.ptr(), key_.ptr(), hash_);
        if (found)
            return nb::borrow(found);
        if (PyErr_Occurred())
            throw nb::python_error();
        // Missing: the dict's own subscript raises its KeyError.
    }
    nb::object item = nb::steal(PyObject_GetItem(mapping.ptr(), key_.ptr()));
    if (!item.is_valid())
        throw nb::python_error();
    return item;
}

void HashedKey::store_in(nb::handle mapping, nb::handle value) {
    if (known_hash_for(mapping)) {
        if (internals::dict_store_with_hash(mapping.ptr(), key_.ptr(), value.ptr(), hash_) != 0)
            throw nb::python_error();
        return;
    }
    if (PyObject_SetItem(mapping.ptr(), key_.ptr(), value.ptr()) != 0)
        throw nb::python_error();
}

} // namespace pyglue
