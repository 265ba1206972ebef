#include "value_identity.hpp"

#include "interned_names.hpp"
#include "safe_access.hpp"

namespace corvane::security {

using pyglue::read;

namespace {

const pyglue::Name kCode("code"), kSecurityName("security_name"), kExchange("exchange"),
    kValue("value");

nb::object exchange_value_of(nb::handle security) {
    nb::object exchange = read(security, kExchange);
    return read(exchange, kValue);
}

} // namespace

bool security_equals(nb::handle self, nb::handle other) {
    nb::object code = read(self, kCode), other_code = read(other, kCode);
    if (!code.equal(other_code))
        return false;
    nb::object name = read(self, kSecurityName), other_name = read(other, kSecurityName);
    if (!name.equal(other_name))
        return false;
    nb::object exchange_value = exchange_value_of(self);
    nb::object other_exchange_value = exchange_value_of(other);
    return exchange_value.equal(other_exchange_value);
}

Py_ssize_t security_hash(nb::handle self) {
    nb::object name = read(self, kSecurityName);
    nb::object code = read(self, kCode);
    nb::object exchange_value = exchange_value_of(self);
    nb::str text = nb::str("{}|{}|{}").format(name, code, exchange_value);
    return nb::hash(text);
}

} // namespace corvane::security
