#include "market_records.hpp"

#include <string>

#include "cqg_symbol.hpp"
#include "safe_access.hpp"
#include "type_check.hpp"

namespace corvane::gatelink {

void require_cqg_symbol(nb::handle cqg_symbol) {
    pyglue::require_exact_type(cqg_symbol, &PyUnicode_Type, "cqg_symbol");
}

Py_ssize_t as_index(nb::handle value) {
    Py_ssize_t index = PyNumber_AsSsize_t(value.ptr(), PyExc_OverflowError);
    if (index == -1 && PyErr_Occurred())
        throw nb::python_error();
    return index;
}

nb::object cqg_symbol_of_name(nb::handle full_name, const char *what) {
    if (!PyUnicode_Check(full_name.ptr()))
        pyglue::raise_incorrect_type(full_name, "str", what);
    // Copied out of the str before anything calls back into Python.
    Py_ssize_t size = 0;
    const char *utf8 = PyUnicode_AsUTF8AndSize(full_name.ptr(), &size);
    if (!utf8)
        throw nb::python_error();
    std::string symbol = cqg_symbol_from_full_name(std::string_view(utf8, size));
    return nb::str(symbol.data(), symbol.size());
}

nb::object latest_or_new(ScopeRef scope, nb::handle records, pyglue::HashedKey &security,
                         const char *record_class) {
    nb::object latest = security.item_of(records);
    if (!latest.is_none())
        return latest;
    nb::object exchange = pyglue::read(security.key(), "exchange");
    nb::object now = pyglue::call_method(scope.global("datetime"), "now");
    nb::object Record = scope.global(record_class);
    return Record(nb::arg("security") = security.key(), nb::arg("exchange") = exchange,
                  nb::arg("datetime") = now);
}

} // namespace corvane::gatelink
