// Order books from tick requests: the top of the book (best bid and ask with their volumes)
// of each security, built from CQG's bid and ask ticks into the framework's OrderBook.
#pragma once

#include <nanobind/nanobind.h>

#include "gatelink_scope.hpp"

namespace corvane::gatelink {

// TickType2String(tickType), the module function: the text a table built afresh on every
// call would give (constant_texts.hpp).
nb::object tick_type_to_string(ScopeRef scope, nb::handle tickType);

nb::object get_ticks_from_cqg_symbol(ScopeRef scope, nb::handle self, nb::handle cqg_symbol);
void subscribe_orderbook(ScopeRef scope, nb::handle self, nb::handle cqg_symbol);
void unsubscribe_orderbook(ScopeRef scope, nb::handle self, nb::handle cqg_symbol);

void on_ticks_resolved(ScopeRef scope, nb::handle self, nb::handle cqgTicks, nb::handle cqgError);
void on_ticks_added(ScopeRef scope, nb::handle self, nb::handle cqgTicks,
                    nb::handle addedTicksCount);
void on_ticks_removed(ScopeRef scope, nb::handle self, nb::handle cqgTicks,
                      nb::handle removedTickIndex);

} // namespace corvane::gatelink
