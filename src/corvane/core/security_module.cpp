// The instrument model: Security and its four kinds, frozen records that compare and hash
// as values.
//
// A plain Security compares and hashes by code, name and the exchange's value (so it
// equals any kind that agrees on those three); two kinds compare as ordinary records,
// all six fields and the same kind. This file lays out the module and holds the one
// ordered table of what it defines; the record classes and the value identity are the
// concern files.
#include <nanobind/nanobind.h>

#include "module_imports.hpp"
#include "module_init.hpp"
#include "record_classes.hpp"
#include "safe_access.hpp"
#include "security_scope.hpp"

namespace nb = nanobind;

namespace {

// The module's imports, in order; any failure fails the import of the module.
void import_dependencies(nb::module_ &m) {
    pyglue::import_names(m, "dataclasses", {"dataclass"});
    pyglue::import_names(m, "corvane.core.constants", {"Exchange"});
}

// A kind whose default exchange is the member `exchange_member` of Exchange.
nb::object make_kind(nb::module_ &m, corvane::security::ScopeRef scope, nb::handle security,
                     const char *name, const char *doc, int lot_size,
                     const char *exchange_member) {
    nb::object exchange = pyglue::read(scope.exchange, exchange_member);
    return corvane::security::make_kind(m, security, name, doc, lot_size, exchange);
}

} // namespace

PYGLUE_MODULE(security, m) {
    import_dependencies(m);
    const corvane::security::Scope scope(m);

    // What the module defines, in order.
    nb::object security = corvane::security::make_security(m, scope);
    pyglue::write(m, "Security", security);
    nb::object stock = make_kind(m, scope, security, "Stock", "Cash equity", 1, "SEHK");
    pyglue::write(m, "Stock", stock);
    nb::object currency =
        make_kind(m, scope, security, "Currency", "Foreign exchange", 1000, "IDEALPRO");
    pyglue::write(m, "Currency", currency);
    nb::object commodity = make_kind(m, scope, security, "Commodity", "Commodity", 1000, "IDEALPRO");
    pyglue::write(m, "Commodity", commodity);
    nb::object futures = make_kind(m, scope, security, "Futures", "Futures", 1000, "SMART");
    pyglue::write(m, "Futures", futures);
}
