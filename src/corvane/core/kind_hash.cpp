#include "kind_hash.hpp"

#include "interned_names.hpp"

namespace corvane::security {

namespace {

// The record type hashes the tuple of these fields, in this order (the kinds keep the
// order of Security's declaration).
const pyglue::Name kHashedFields[] = {
    pyglue::Name("code"),     pyglue::Name("security_name"), pyglue::Name("lot_size"),
    pyglue::Name("exchange"), pyglue::Name("expiry_date"),   pyglue::Name("quote_currency")};
constexpr Py_ssize_t kFieldCount = sizeof(kHashedFields) / sizeof(kHashedFields[0]);

// hash((self.code, self.security_name, self.lot_size, self.exchange, self.expiry_date,
// self.quote_currency))
Py_hash_t kind_hash(PyObject *self) {
    nb::object fields = nb::steal(PyTuple_New(kFieldCount));
    if (!fields.is_valid())
        return -1;
    for (Py_ssize_t i = 0; i < kFieldCount; ++i) {
        nb::object value = nb::steal(PyObject_GetAttr(self, kHashedFields[i].get().ptr()));
        if (!value.is_valid())
            return -1;
        PyTuple_SET_ITEM(fields.ptr(), i, value.release().ptr()); // the tuple owns it
    }
    return PyObject_Hash(fields.ptr());
}

} // namespace

void hash_fields_natively(nb::handle kind) {
    reinterpret_cast<PyTypeObject *>(kind.ptr())->tp_hash = kind_hash;
}

} // namespace corvane::security
