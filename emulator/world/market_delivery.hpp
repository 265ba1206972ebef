// How what happens in the market reaches a CQGCEL's sinks: quotes to its streaming instruments,
// ticks to its tick requests, closed and changing bars to its timed-bar requests. Each function
// adds the events to a batch and returns how many it added; the caller fires the batch.
// Used by the test controls, the clock's minute closing and the live feed. GIL held.
#pragma once

#include "cqg/cqg_instrument.hpp"
#include "cqg/cqg_ticks.hpp"
#include "market/bar_history.hpp"
#include "market/market.hpp"
#include "platform/event_source.hpp"

#include <string>
#include <vector>

namespace cqgemu {

class Cqgcel;

// The instrument's market, made on first use; from then on the clock closes its bars at every
// minute it crosses.
MarketInstrument &market_instrument(const InstrumentTerms &terms);

// One InstrumentChanged per streaming instrument whose full name contains `symbol`.
size_t deliver_quotes(Cqgcel &cel, const std::string &symbol,
                      const std::vector<QuoteValue> &quotes, EventBatch &batch);

// Appends the ticks to every tick request whose instrument's full name contains `symbol`, with
// one TicksAdded each.
size_t deliver_ticks(Cqgcel &cel, const std::string &symbol, const std::vector<TickValue> &ticks,
                     EventBatch &batch);

// Completes the instrument's forming bar (with the given values, the walk's otherwise) and adds
// TimedBarsAdded for every timed-bar request of it that takes updates.
size_t close_forming_bar(Cqgcel *cel, MarketInstrument &instrument, const BarOverrides &given,
                         EventBatch &batch);

// Adds TimedBarsAdded for every timed-bar request of the instrument that takes updates: `closed`
// completed, the instrument's forming bar next.
size_t deliver_closed_bar(Cqgcel &cel, MarketInstrument &instrument, const MarketBar &closed,
                          EventBatch &batch);

// Adds TimedBarsUpdated for every timed-bar request of the instrument that takes updates, with
// the instrument's forming bar as it now stands.
size_t deliver_forming_bar(Cqgcel &cel, MarketInstrument &instrument, EventBatch &batch);

// An event argument made for the CQGCEL's own thread, where its sinks usually are: delivery
// then hands it on as it is instead of making another.
nb::object for_home(const Cqgcel &cel, std::shared_ptr<EmulatedObject> object);

// The current CQGCEL while it exists and is connected, or null.
std::shared_ptr<Cqgcel> connected_cel();

} // namespace cqgemu
