#include "cqg_lookup.hpp"

#include "safe_access.hpp"

namespace gatelink {

namespace {

nb::object name_of(nb::handle item, NamedBy named_by) {
    if (named_by == NamedBy::FullName)
        return pyglue::read(item, "FullName");
    nb::object request = pyglue::read(item, "Request");
    return pyglue::read(request, "Symbol");
}

// Python's `cqg_symbol in name`.
bool contains(nb::handle name, nb::handle cqg_symbol) {
    int found = PySequence_Contains(name.ptr(), cqg_symbol.ptr());
    if (found < 0)
        throw nb::python_error();
    return found == 1;
}

} // namespace

nb::object find_by_cqg_symbol(nb::handle collection, nb::handle cqg_symbol, NamedBy named_by) {
    for (nb::handle item : collection) {
        nb::object candidate = nb::borrow(item);
        nb::object name = name_of(candidate, named_by);
        if (contains(name, cqg_symbol))
            return candidate;
    }
    return nb::none();
}

} // namespace gatelink
