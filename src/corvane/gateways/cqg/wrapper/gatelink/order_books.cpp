#include "order_books.hpp"

#include "com_platform.hpp"
#include "cqg_lookup.hpp"
#include "interned_names.hpp"
#include "market_records.hpp"
#include "market_recording.hpp"
#include "market_values.hpp"
#include "safe_access.hpp"
#include "type_check.hpp"

namespace corvane::gatelink {

using pyglue::call_method;
using cqgglue::com_constant;
using pyglue::read;
using pyglue::write;

namespace {

const cqgglue::ConstantTextList kTickTypes = {
    {"tptAsk", "Ask price"},
    {"tptBid", "Bid price"},
    {"tptSettlement", "Settlement price"},
    {"tptTrade", "Trade price"},
};

// Which tick fills which side of the book, tested in this order; other ticks fill none.
struct BookSide {
    const char *text;
    const char *price_field;
    const char *volume_field;
};
const BookSide kBookSides[] = {
    {"Ask price", "ask_price_1", "ask_volume_1"},
    {"Bid price", "bid_price_1", "bid_volume_1"},
};

const BookSide *side_of_tick_text(nb::handle text) {
    for (const BookSide &side : kBookSides)
        if (PyUnicode_CompareWithASCIIString(text.ptr(), side.text) == 0)
            return &side;
    return nullptr;
}

// Published only with both sides priced and with volume, tested in this order.
bool complete(nb::handle book) {
    for (const char *field : {"bid_price_1", "ask_price_1", "bid_volume_1", "ask_volume_1"})
        if (!differs_from_zero(read(book, field)))
            return false;
    return true;
}

const pyglue::Name kRequest("Request"), kSymbol("Symbol"), kPriceType("PriceType"),
    kPrice("Price"), kVolume("Volume"), kTimestamp("Timestamp");

// What has been read of one tick and its request: a member the recording read is not read
// again. Without a recording each member is read where the gateway needs it.
struct TickReads {
    nb::handle ticks, tick;
    nb::object symbol, price_type, price, volume;
};

nb::object request_symbol(nb::handle ticks) {
    nb::object request = read(ticks, kRequest);
    return read(request, kSymbol);
}

// One new tick: a bid or ask tick replaces its side; any tick stores the book back and
// publishes it once complete (so a trade tick republishes the same book).
void apply_tick(ScopeRef scope, nb::handle gateway, TickReads &reads) {
    if (!reads.symbol.is_valid())
        reads.symbol = request_symbol(reads.ticks);
    nb::object cqg_symbol = reads.symbol;
    nb::object security = call_method(gateway, "get_cv_security_from_cqg_symbol", cqg_symbol);

    nb::object cqg_orderbooks = read(gateway, "cqg_orderbooks");
    pyglue::HashedKey key(security);
    nb::object book = latest_or_new(scope, cqg_orderbooks, key, "OrderBook");

    nb::object price_type = read_once(reads.price_type, reads.tick, kPriceType);
    nb::object text = scope.constant_texts().text_of(kTickTypes, price_type);
    const BookSide *side = side_of_tick_text(text);
    if (side) {
        nb::object price = read_once(reads.price, reads.tick, kPrice);
        nb::object volume = read_once(reads.volume, reads.tick, kVolume);
        nb::object now = call_method(scope.global("datetime"), "now");
        book = scope.order_book_copier().copy(book, {{pyglue::interned(side->price_field), price},
                                                     {pyglue::interned(side->volume_field), volume},
                                                     {pyglue::interned("datetime"), now}});
    }

    key.store_in(cqg_orderbooks, book);
    if (complete(book))
        call_method(gateway, "process_orderbook", book);
}

// A tick as CQG gave it, before the gateway handles it.
void record_tick(const MarketRecording &recording, TickReads &reads) {
    MarketRecording::read_into(reads.price_type, reads.tick, kPriceType);
    MarketRecording::read_into(reads.price, reads.tick, kPrice);
    MarketRecording::read_into(reads.volume, reads.tick, kVolume);
    nb::object server_time = MarketRecording::read_or_none(reads.tick, kTimestamp);
    recording.append({recording.received(), server_time, reads.symbol, reads.price_type,
                      reads.price, reads.volume});
}

} // namespace

nb::object tick_type_to_string(ScopeRef scope, nb::handle tickType) {
    return scope.constant_texts().text_of(kTickTypes, tickType);
}

nb::object get_ticks_from_cqg_symbol(ScopeRef, nb::handle self, nb::handle cqg_symbol) {
    require_cqg_symbol(cqg_symbol);
    nb::object all_ticks = read(Scope::cqg_cel(self), "AllTicks");
    return find_by_cqg_symbol(all_ticks, cqg_symbol, NamedBy::RequestSymbol);
}

// The current ticks, then a notification for each new one; the wait's outcome is ignored.
void subscribe_orderbook(ScopeRef scope, nb::handle self, nb::handle cqg_symbol) {
    require_cqg_symbol(cqg_symbol);
    nb::object cqgCEL = Scope::cqg_cel(self);
    nb::object created = call_method(cqgCEL, "CreateTicksRequest");
    nb::object request = cqgglue::dispatch(created);
    write(request, "Symbol", cqg_symbol);
    write(request, "Type", com_constant("trtCurrentNotify"));
    write(request, "TickFilter", com_constant("tfAll"));
    write(request, "SessionsFilter", nb::int_(31));
    write(request, "Limit", nb::int_(10));
    nb::object limit = read(request, "Limit");
    scope.trace(nb::str("Limit: {}").format(limit));

    nb::object done = read(self, "eventOrderbookDone");
    call_method(done, "clear");
    call_method(cqgCEL, "RequestTicks", request);
    scope.trace(nb::str("Waiting for eventOrderbookDone in subscribe_orderbook({})...")
                    .format(cqg_symbol));
    scope.wait_at_most_timeout(done);
    scope.trace("eventOrderbookDone is done.");
}

// The security's last book stays with the gateway.
void unsubscribe_orderbook(ScopeRef scope, nb::handle self, nb::handle cqg_symbol) {
    require_cqg_symbol(cqg_symbol);
    nb::object lookup = read(self, "get_ticks_from_cqg_symbol");
    nb::object ticks = lookup(cqg_symbol);
    if (ticks.is_none())
        return;
    call_method(Scope::cqg_cel(self), "RemoveTicks", ticks);
    call_method(read(self, "eventOrderbookDone"), "clear");
    scope.trace(nb::str("Successfully unsubscribe orderbook for {}").format(cqg_symbol));
}

// With or without an error, the answer only releases the waiting subscription.
void on_ticks_resolved(ScopeRef, nb::handle self, nb::handle, nb::handle) {
    Scope::release(self, "eventOrderbookDone");
}

// The newly added ticks are the last `addedTicksCount` of the collection, oldest first. An
// error (an unknown tick type, a security the gateway does not keep) ends the handling of
// the event: the ticks after it are not processed.
void on_ticks_added(ScopeRef scope, nb::handle self, nb::handle cqgTicks,
                    nb::handle addedTicksCount) {
    nb::object ticks = cqgglue::dispatch(cqgTicks);
    Py_ssize_t count = as_index(read(ticks, "Count"));
    Py_ssize_t added = as_index(addedTicksCount);
    nb::object gateway = read(self, "gateway");
    MarketRecording recording = MarketRecording::of(gateway, MarketRecording::Kind::Ticks);
    nb::object symbol;
    if (recording && added > 0)
        symbol = request_symbol(ticks);
    for (Py_ssize_t index = count - added; index < count; ++index) {
        nb::object tick = call_method(ticks, "Item", index);
        TickReads reads{ticks, tick, symbol};
        if (recording)
            record_tick(recording, reads);
        apply_tick(scope, gateway, reads);
    }
}

void on_ticks_removed(ScopeRef, nb::handle, nb::handle, nb::handle) {}

} // namespace corvane::gatelink
