#include "hashed_key.hpp"

namespace pyglue {

// CPython 3.11 and 3.12 export the dict's look-up and store with a known hash; elsewhere
// the key is hashed by each.
#if PY_VERSION_HEX >= 0x030B0000 && PY_VERSION_HEX < 0x030D0000
#define PYGLUE_DICT_KNOWN_HASH 1
#endif

bool HashedKey::known_hash_for(nb::handle mapping) {
#ifdef PYGLUE_DICT_KNOWN_HASH
    if (!PyDict_CheckExact(mapping.ptr()))
        return false;
    if (hash_ == -1) {
        hash_ = PyObject_Hash(key_.ptr());
        if (hash_ == -1)
            throw nb::python_error();
    }
    return true;
#else
    (void)mapping;
    return false;
#endif
}

nb::object HashedKey::item_of(nb::handle mapping) {
#ifdef PYGLUE_DICT_KNOWN_HASH
    if (known_hash_for(mapping)) {
        PyObject *found = _PyDict_GetItem_KnownHash(mapping.ptr(), key_.ptr(), hash_);
        if (found)
            return nb::borrow(found);
        if (PyErr_Occurred())
            throw nb::python_error();
        // Missing: the dict's own subscript raises its KeyError.
    }
#endif
    nb::object item = nb::steal(PyObject_GetItem(mapping.ptr(), key_.ptr()));
    if (!item.is_valid())
        throw nb::python_error();
    return item;
}

void HashedKey::store_in(nb::handle mapping, nb::handle value) {
#ifdef PYGLUE_DICT_KNOWN_HASH
    if (known_hash_for(mapping)) {
        if (_PyDict_SetItem_KnownHash(mapping.ptr(), key_.ptr(), value.ptr(), hash_) != 0)
            throw nb::python_error();
        return;
    }
#endif
    if (PyObject_SetItem(mapping.ptr(), key_.ptr(), value.ptr()) != 0)
        throw nb::python_error();
}

} // namespace pyglue
