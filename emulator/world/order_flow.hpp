// What happens to orders between the book and a CQGCEL's sinks: placing (added, in the book,
// filled, or rejected), cancelling, and the market moving resting orders into fills. Each
// fill is booked to its account and reported as an OrderChanged carrying the fill, followed
// by AccountChanged for the position it moved. The events of one step go out as one batch.
// GIL held.
#pragma once

#include "market/matching_engine.hpp"
#include "cqg/gateway.hpp"
#include "platform/event_source.hpp"

#include <string>

namespace cqgemu {

class Cqgcel;

// Takes the ticket into the book under `guid` and reports it to `cel`'s sinks. A ticket
// without an account, or with the reject fault set, is rejected by the gateway; with the drop
// fault set it stays in transit and nothing is reported. Throws std::invalid_argument for a
// ticket the book refuses.
void place_order(Cqgcel &cel, const std::string &guid, const OrderTicket &ticket);

// A working order goes to "in cancel", then "canceled". An order that is no longer working
// does not change and nothing is reported.
void cancel_order(Cqgcel &cel, const std::string &guid);

// The instrument's market moves: matches its working orders, books and reports the fills (to
// `cel` if not null) and values the positions in it at the middle of the market.
void move_market(Cqgcel *cel, const std::string &instrument, const MarketTop &top,
                 EventBatch &batch);

// The desk the CQG orders talk to: place_order and cancel_order.
OrderDesk &order_flow_desk();

// The market an order of `instrument` meets: the book's, or else one tick either side of the
// instrument's walk.
MarketTop market_for(const std::string &instrument);

} // namespace cqgemu
