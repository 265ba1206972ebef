// The instrument model: Security and its four kinds, frozen records that compare and hash
// as values.
//
// A plain Security compares and hashes by code, name and the exchange's value (so it
// equals any kind that agrees on those three); two kinds compare as ordinary records,
// all six fields and the same kind.
#include <nanobind/nanobind.h>

#include "class_builder.hpp"
#include "kind_hash.hpp"
#include "module_init.hpp"

namespace nb = nanobind;
using pyglue::ClassBuilder;

namespace {

// Equality of a plain Security with any other object: code, then name, then the value
// behind the exchange. Lot size, expiry, currency and the concrete type do not count.
bool security_equals(nb::handle self, nb::handle other) {
    nb::object code = self.attr("code"), other_code = other.attr("code");
    if (!code.equal(other_code))
        return false;
    nb::object name = self.attr("security_name"), other_name = other.attr("security_name");
    if (!name.equal(other_name))
        return false;
    nb::object exchange_value = self.attr("exchange").attr("value");
    nb::object other_exchange_value = other.attr("exchange").attr("value");
    return exchange_value.equal(other_exchange_value);
}

// Hash of a plain Security: the text hash of "name|code|exchange value", so that
// securities equal under security_equals hash alike.
Py_ssize_t security_hash(nb::handle self) {
    nb::object name = self.attr("security_name");
    nb::object code = self.attr("code");
    nb::object exchange_value = self.attr("exchange").attr("value");
    nb::str text = nb::str("{}|{}|{}").format(name, code, exchange_value);
    return nb::hash(text);
}

nb::object make_security(nb::module_ &m, nb::handle exchange_type) {
    nb::handle text = reinterpret_cast<PyObject *>(&PyUnicode_Type);
    nb::handle integer = reinterpret_cast<PyObject *>(&PyLong_Type);

    ClassBuilder security(m, "Security", nb::tuple(), "Base class for different asset types");
    security.field("code", text)
        .field("security_name", text)
        .field("lot_size", integer, nb::none())
        .field("exchange", exchange_type, nb::none())
        .field("expiry_date", text, nb::none())
        .field("quote_currency", text, nb::str(""))
        .def("__eq__", &security_equals, nb::arg("other"))
        .def("__hash__", &security_hash);
    return pyglue::frozen_dataclass(security.get());
}

// A kind redeclares the first four fields to give lot size and exchange its own defaults;
// expiry date and quote currency come from Security unchanged. Being a record type of its
// own, it compares and hashes over all six fields.
nb::object make_kind(nb::module_ &m, nb::handle security, const char *name, const char *doc,
                     long lot_size, nb::handle exchange) {
    nb::handle text = reinterpret_cast<PyObject *>(&PyUnicode_Type);
    nb::handle integer = reinterpret_cast<PyObject *>(&PyLong_Type);

    ClassBuilder kind(m, name, nb::make_tuple(security), doc);
    kind.field("code", text)
        .field("security_name", text)
        .field("lot_size", integer, nb::int_(lot_size))
        .field("exchange", exchange.type(), exchange)
        .def("__post_init__", [](nb::handle) {});
    nb::object record_type = pyglue::frozen_dataclass(kind.get());
    corvane::security::hash_fields_natively(record_type);
    return record_type;
}

} // namespace

PYGLUE_MODULE(security, m) {
    nb::object dataclass = nb::module_::import_("dataclasses").attr("dataclass");
    m.attr("dataclass") = dataclass;
    nb::object exchange = nb::module_::import_("corvane.core.constants").attr("Exchange");
    m.attr("Exchange") = exchange;

    nb::object security = make_security(m, exchange);
    m.attr("Security") = security;
    m.attr("Stock") = make_kind(m, security, "Stock", "Cash equity", 1, exchange.attr("SEHK"));
    m.attr("Currency") =
        make_kind(m, security, "Currency", "Foreign exchange", 1000, exchange.attr("IDEALPRO"));
    m.attr("Commodity") =
        make_kind(m, security, "Commodity", "Commodity", 1000, exchange.attr("IDEALPRO"));
    m.attr("Futures") = make_kind(m, security, "Futures", "Futures", 1000, exchange.attr("SMART"));
}
