#include "record_classes.hpp"

#include "class_builder.hpp"
#include "kind_hash.hpp"
#include "value_identity.hpp"

namespace corvane::security {

namespace {

nb::handle text_type() { return reinterpret_cast<PyObject *>(&PyUnicode_Type); }
nb::handle integer_type() { return reinterpret_cast<PyObject *>(&PyLong_Type); }

// A kind's __post_init__: nothing to check once the fields are set.
void kind_post_init(nb::handle) {}

} // namespace

nb::object make_security(nb::module_ &m, ScopeRef scope) {
    pyglue::ClassBuilder security(m, "Security", nb::tuple(), "Base class for different asset types");
    security.field("code", text_type())
        .field("security_name", text_type())
        .field("lot_size", integer_type(), nb::none())
        .field("exchange", scope.exchange, nb::none())
        .field("expiry_date", text_type(), nb::none())
        .field("quote_currency", text_type(), nb::str(""))
        .def("__eq__", &security_equals, nb::arg("other"))
        .def("__hash__", &security_hash);
    return pyglue::frozen_dataclass(security.get());
}

// A kind redeclares the first four fields to give lot size and exchange its own defaults;
// expiry date and quote currency come from Security unchanged. Being a record type of its
// own, it compares and hashes over all six fields.
nb::object make_kind(nb::module_ &m, nb::handle security, const char *name, const char *doc,
                     int lot_size, nb::handle exchange) {
    pyglue::ClassBuilder kind(m, name, nb::make_tuple(security), doc);
    kind.field("code", text_type())
        .field("security_name", text_type())
        .field("lot_size", integer_type(), nb::int_(lot_size))
        .field("exchange", exchange.type(), exchange)
        .def("__post_init__", &kind_post_init);
    nb::object record_type = pyglue::frozen_dataclass(kind.get());
    hash_fields_natively(record_type);
    return record_type;
}

} // namespace corvane::security
