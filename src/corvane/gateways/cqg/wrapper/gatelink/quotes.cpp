#include "quotes.hpp"

#include "com_platform.hpp"
#include "cqg_lookup.hpp"
#include "interned_names.hpp"
#include "market_records.hpp"
#include "market_recording.hpp"
#include "market_values.hpp"
#include "safe_access.hpp"
#include "truth.hpp"
#include "type_check.hpp"

namespace corvane::gatelink {

using pyglue::call_method;
using pyglue::read;
using pyglue::write;

namespace {

const cqgglue::ConstantTextList kQuoteTypes = {
    {"qtAsk", "Best ask"},
    {"qtBid", "Best bid"},
    {"qtCohUndAsk", "Coherent underlying price for the best ask"},
    {"qtCohUndBid", "Coherent underlying price for the best bid"},
    {"qtDayHigh", "Current day high price"},
    {"qtDayLow", "Current day low price"},
    {"qtDayOpen", "Day open price"},
    {"qtImpliedAsk", "Implied best ask"},
    {"qtImpliedBid", "Implied best bid"},
    {"qtIndicativeOpen", "Indicative open"},
    {"qtMarker", "Marker price"},
    {"qtOutrightAsk", "Outright best ask"},
    {"qtOutrightBid", "Outright best bid"},
    {"qtSettlement", "Settlement price"},
    {"qtTodayMarker", "Marker price"},
    {"qtTrade", "Last trade price"},
    {"qtYesterdaySettlement", "Yesterday's settlement price"},
};

// The names read on every quote, spelt as CQGCEL declares them: once the type library is
// loaded, a quote answers to `Price` and to no other spelling.
const pyglue::Name kFullName("FullName"), kIsValid("IsValid"), kType("Type"), kPrice("Price");
const pyglue::Name kGateway("gateway"), kCqgQuotes("cqg_quotes"),
    kSecurityOfSymbol("get_cv_security_from_cqg_symbol"), kProcessQuote("process_quote");
const pyglue::Name kDatetime("datetime"), kNow("now");
const pyglue::Name kVolume("Volume");
const pyglue::Name kLastPrice("last_price"), kBidPrice("bid_price"), kAskPrice("ask_price");

// Which quote fills which Quote field, tested in this order; other types fill none.
struct QuoteField {
    const char *text;
    const pyglue::Name &field;
};
const pyglue::Name kOpenPrice("open_price"), kHighPrice("high_price"), kLowPrice("low_price"),
    kPrevClosePrice("prev_close_price");
const QuoteField kQuoteFields[] = {
    {"Last trade price", kLastPrice},
    {"Best bid", kBidPrice},
    {"Best ask", kAskPrice},
    {"Day open price", kOpenPrice},
    {"Current day high price", kHighPrice},
    {"Current day low price", kLowPrice},
    {"Yesterday's settlement price", kPrevClosePrice},
};

const pyglue::Name *field_of_quote_text(nb::handle text) {
    for (const QuoteField &entry : kQuoteFields)
        if (PyUnicode_CompareWithASCIIString(text.ptr(), entry.text) == 0)
            return &entry.field;
    return nullptr;
}

// What has been read of one quote and its instrument: a member the recording read is not
// read again. Without a recording each member is read where the gateway needs it.
struct QuoteReads {
    nb::handle instrument, quote;
    nb::object full_name, type, price;
};

// A record is worth publishing once it has a last price or both sides of the market.
bool publishable(nb::handle quote) {
    if (differs_from_zero(read(quote, kLastPrice)))
        return true;
    return differs_from_zero(read(quote, kBidPrice)) &&
           differs_from_zero(read(quote, kAskPrice));
}

// One valid quote: the stored record, copied with the quote's field, stored back and
// published when it can be.
void apply_quote(ScopeRef scope, nb::handle gateway, QuoteReads &reads) {
    // The CQG symbol of the instrument: its FullName after the last ".".
    nb::object full_name = read_once(reads.full_name, reads.instrument, kFullName);
    nb::object cqg_symbol = cqg_symbol_of_name(full_name, "FullName");
    nb::object security = call_method(gateway, kSecurityOfSymbol, cqg_symbol);
    if (security.is_none())
        return;

    nb::object cqg_quotes = read(gateway, kCqgQuotes);
    pyglue::HashedKey key(security);
    nb::object record = latest_or_new(scope, cqg_quotes, key, "Quote");

    nb::object type = read_once(reads.type, reads.quote, kType);
    nb::object text = scope.constant_texts().text_of(kQuoteTypes, type);
    if (const pyglue::Name *field = field_of_quote_text(text)) {
        nb::object price = read_once(reads.price, reads.quote, kPrice);
        nb::object now = call_method(scope.global(kDatetime), kNow);
        record = scope.quote_copier().copy(record, {{*field, price}, {kDatetime, now}});
    }

    key.store_in(cqg_quotes, record);
    if (publishable(record))
        call_method(gateway, kProcessQuote, record);
}

// A quote as CQG gave it, valid or not, before the gateway handles it.
void record_quote(MarketRecording &recording, QuoteReads &reads, nb::handle is_valid) {
    MarketRecording::read_into(reads.type, reads.quote, kType);
    MarketRecording::read_into(reads.price, reads.quote, kPrice);
    nb::object volume = MarketRecording::read_or_none(reads.quote, kVolume);
    nb::object server_time = recording.quote_server_time(reads.quote);
    recording.append_quote(server_time, reads.full_name, reads.type, reads.price, volume,
                           is_valid);
}

} // namespace

nb::object quote_type_to_string(ScopeRef scope, nb::handle quoteType) {
    return scope.constant_texts().text_of(kQuoteTypes, quoteType);
}

nb::object get_instrument_from_cqg_symbol(ScopeRef, nb::handle self, nb::handle cqg_symbol) {
    require_cqg_symbol(cqg_symbol);
    nb::object instruments = read(Scope::cqg_cel(self), "Instruments");
    return find_by_cqg_symbol(instruments, cqg_symbol, NamedBy::FullName);
}

// The outcome of the wait is not a failure: the subscription goes on after a time-out.
void subscribe_quote(ScopeRef scope, nb::handle self, nb::handle cqg_symbol) {
    require_cqg_symbol(cqg_symbol);
    nb::object done = read(self, "eventQuoteDone");
    call_method(done, "clear");
    call_method(Scope::cqg_cel(self), "NewInstrument", cqg_symbol);
    scope.trace(nb::str("Waiting for eventQuoteDone in subscribe_quote({})...").format(cqg_symbol));
    scope.wait_at_most_timeout(done);
    scope.trace("eventQuoteDone is done.");
}

// An unknown symbol is left alone, silently.
void unsubscribe_quote(ScopeRef scope, nb::handle self, nb::handle cqg_symbol) {
    require_cqg_symbol(cqg_symbol);
    nb::object lookup = read(self, "get_instrument_from_cqg_symbol");
    nb::object instrument = lookup(cqg_symbol);
    if (instrument.is_none())
        return;
    call_method(Scope::cqg_cel(self), "RemoveInstrument", instrument);
    call_method(read(self, "eventQuoteDone"), "clear");
    scope.trace(nb::str("Successfully unsubscribe quote for {}").format(cqg_symbol));
}

// An error only releases the waiting subscription; nothing is written about it.
void on_instrument_resolved(ScopeRef, nb::handle self, nb::handle, nb::handle cqgInstrument,
                            nb::handle cqgError) {
    if (cqgError.is_none()) {
        nb::object instrument = cqgglue::dispatch(cqgInstrument);
        write(instrument, "DataSubscriptionLevel", cqgglue::com_constant("dsQuotesAndBBA"));
    }
    Scope::release(self, "eventQuoteDone");
}

// Each valid quote is handled on its own, in the collection's order, so one event can
// publish several times, each with the record as it then stood. An error (an unknown quote
// type, a security the gateway does not keep) ends the handling of the event. An attached
// recorder gets each quote just before the gateway handles it, so it holds the quote an
// error ended the event at, and not those after it.
void on_instrument_changed(ScopeRef scope, nb::handle self, nb::handle cqgInstrument,
                           nb::handle cqgQuotes, nb::handle) {
    nb::object instrument = cqgglue::dispatch(cqgInstrument);
    nb::object quotes = cqgglue::dispatch(cqgQuotes);
    nb::object gateway = read(self, kGateway);
    MarketRecording recording = MarketRecording::of(gateway, MarketRecording::Kind::Quotes);
    nb::object full_name;
    if (recording)
        MarketRecording::read_into(full_name, instrument, kFullName);
    for (nb::handle item : quotes) {
        nb::object quote = nb::borrow(item);
        QuoteReads reads{instrument, quote, full_name};
        nb::object is_valid = read(quote, kIsValid);
        if (recording)
            record_quote(recording, reads, is_valid);
        if (!pyglue::is_true(is_valid))
            continue;
        apply_quote(scope, gateway, reads);
    }
}

} // namespace corvane::gatelink
