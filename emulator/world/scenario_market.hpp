// A scenario's market as a test writes it: the instruments (a list of dicts), the history and
// INVALID share of generated bars, and the values tests push (quotes, ticks, bars), checked and
// turned into the market's plain records with a clear ValueError or TypeError.
#pragma once

#include "cqg/cqg_instrument.hpp"
#include "cqg/cqg_ticks.hpp"
#include "market/bar_history.hpp"
#include "market/market.hpp"

#include <nanobind/nanobind.h>

#include <vector>

namespace cqgemu {

namespace nb = nanobind;

// None gives the default three futures.
std::vector<InstrumentTerms> instruments_from_python(nb::handle instruments);

// (type, price) or (type, price, is_valid) or (type, price, is_valid, volume); the type a
// quote-type name such as "qtBid" or a raw int.
std::vector<QuoteValue> quotes_from_python(nb::handle quotes);

// (type, price, volume); the type a tick price-type name such as "tptBid" or a raw int.
std::vector<TickValue> ticks_from_python(nb::handle ticks, double time);

// Dicts with "open", "high", "low", "close", "volume", oldest first.
std::vector<MarketBar> bars_from_python(nb::handle bars);

} // namespace cqgemu
