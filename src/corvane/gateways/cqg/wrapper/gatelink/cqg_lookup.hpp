// Finding a CQGCEL object by CQG symbol. The object whose own symbol is the CQG symbol wins,
// wherever it stands in the collection, so that with EP and EPZ26 both followed an order
// for EP never goes to EPZ26; only when none is, the first object (in the collection's own
// order) whose name contains the symbol is taken, as a containment test always found it.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::gatelink {

namespace nb = nanobind;

// How an object of the collection names its instrument, and what its own symbol is.
enum class NamedBy {
    FullName,       // instruments: their FullName, the symbol after its last "."
    RequestSymbol,  // ticks and timed bars: their Request.Symbol, the whole of it
};

// The object of `collection` whose symbol equals `cqg_symbol`, else the first whose name
// contains it, else None.
nb::object find_by_cqg_symbol(nb::handle collection, nb::handle cqg_symbol, NamedBy named_by);

} // namespace corvane::gatelink
