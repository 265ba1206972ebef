// Finding a CQGCEL object by CQG symbol: the first object of a collection, in the
// collection's own order, whose name contains the symbol (a containment test, so a short
// symbol finds the first of several instruments whose names hold it).
#pragma once

#include <nanobind/nanobind.h>

namespace gatelink {

namespace nb = nanobind;

// How an object of the collection names its instrument.
enum class NamedBy {
    FullName,       // instruments: their FullName
    RequestSymbol,  // ticks and timed bars: their Request.Symbol
};

// The first object of `collection` whose name contains `cqg_symbol`, else None.
nb::object find_by_cqg_symbol(nb::handle collection, nb::handle cqg_symbol, NamedBy named_by);

} // namespace gatelink
