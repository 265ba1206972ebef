#include "kind_hash.hpp"

#include "interned_names.hpp"
#include "internals.hpp"

namespace corvane::security {

namespace {

// The record type hashes the tuple of these fields, in this order (the kinds keep the
// order of Security's declaration).
const pyglue::Name kHashedFields[] = {
    pyglue::Name("code"),     pyglue::Name("security_name"), pyglue::Name("lot_size"),
    pyglue::Name("exchange"), pyglue::Name("expiry_date"),   pyglue::Name("quote_currency")};
constexpr Py_ssize_t kFieldCount = sizeof(kHashedFields) / sizeof(kHashedFields[0]);

// A member of an enumeration that hashes by Enum's own __hash__ hashes as its name does.
// The name stands in for it in the tuple, so that the tuple's hash is the same without
// running Enum.__hash__ as Python code. Anything else (None, another hash, a member whose
// name cannot be read) is hashed as it is.
nb::object hash_stand_in(nb::handle value) {
    PyObject *raw = value.ptr();
    if (PyUnicode_CheckExact(raw) || PyLong_CheckExact(raw) || raw == Py_None)
        return nb::object(); // the usual fields, hashed by their C types
    return pyglue::internals::enum_hash_stand_in(value);
}

// hash((self.code, self.security_name, self.lot_size, self.exchange, self.expiry_date,
// self.quote_currency)), with the exchange's name standing in for an enumeration member.
Py_hash_t kind_hash(PyObject *self) {
    nb::object fields = nb::steal(PyTuple_New(kFieldCount));
    if (!fields.is_valid())
        return -1;
    for (Py_ssize_t i = 0; i < kFieldCount; ++i) {
        nb::object value = nb::steal(PyObject_GetAttr(self, kHashedFields[i].get().ptr()));
        if (!value.is_valid())
            return -1;
        nb::object stand_in = hash_stand_in(value);
        nb::object hashed = stand_in.is_valid() ? std::move(stand_in) : std::move(value);
        PyTuple_SET_ITEM(fields.ptr(), i, hashed.release().ptr()); // the tuple owns it
    }
    return PyObject_Hash(fields.ptr());
}

} // namespace

void hash_fields_natively(nb::handle kind) {
    pyglue::internals::find_enum_hash();
    reinterpret_cast<PyTypeObject *>(kind.ptr())->tp_hash = kind_hash;
}

} // namespace corvane::security
