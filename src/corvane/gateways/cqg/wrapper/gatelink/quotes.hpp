// Instruments and quotes: the quote subscription, the instrument look-up by CQG symbol, and
// the handlers that turn CQG's quote changes into the framework's Quote records.
#pragma once

#include <nanobind/nanobind.h>

#include "gatelink_scope.hpp"

namespace corvane::gatelink {

// QuoteType2String(quoteType), the module function: the text a table built afresh on every
// call would give (constant_texts.hpp).
nb::object quote_type_to_string(ScopeRef scope, nb::handle quoteType);

nb::object get_instrument_from_cqg_symbol(ScopeRef scope, nb::handle self, nb::handle cqg_symbol);
void subscribe_quote(ScopeRef scope, nb::handle self, nb::handle cqg_symbol);
void unsubscribe_quote(ScopeRef scope, nb::handle self, nb::handle cqg_symbol);

void on_instrument_resolved(ScopeRef scope, nb::handle self, nb::handle symbol,
                            nb::handle cqgInstrument, nb::handle cqgError);
void on_instrument_changed(ScopeRef scope, nb::handle self, nb::handle cqgInstrument,
                           nb::handle cqgQuotes, nb::handle cqgInstrumentProperties);

} // namespace corvane::gatelink
