// CQGCEL's market side: instruments resolved by NewInstrument, tick requests and timed-bar
// requests, their collections and their removal. Every request is answered by its resolution
// event, through the pump, unless a test set a fault on the next one.
#include "cqgcel.hpp"

#include "cqg_error.hpp"
#include "cqg_instrument.hpp"
#include "cqg_ticks.hpp"
#include "cqg_timed_bars.hpp"
#include "gateway.hpp"
#include "request_fields.hpp"
#include "platform/com_errors.hpp"
#include "platform/interface.hpp"

namespace cqgemu {

namespace {

constexpr long UNKNOWN_SYMBOL_CODE = 2;

ResolutionFault next_fault(ResolutionKind kind) { return gateway().market().take_fault(kind); }

nb::object error_for(const std::shared_ptr<ThreadQueue> &home, const std::string &symbol,
                     ResolutionFault fault) {
    std::string description = fault == ResolutionFault::Error
                                  ? "Request for '" + symbol + "' failed"
                                  : "Unknown symbol '" + symbol + "'";
    return interface_for_this_thread(make_emulated<CqgError>(home, UNKNOWN_SYMBOL_CODE, description));
}

// The emulated object of type T behind a method's one argument; a type mismatch otherwise.
template <class T> std::shared_ptr<T> object_argument(nb::tuple args) {
    require_argument_count(args, 1);
    return argument_at(0, 1, [&] { return emulated_argument<T>(args[0]); });
}

} // namespace

nb::object Cqgcel::new_instrument(nb::tuple args) {
    require_argument_count(args, 1);
    std::string symbol = text_field(args[0]);
    record_call("NewInstrument", args);
    ResolutionFault fault = next_fault(ResolutionKind::Instrument);
    if (fault == ResolutionFault::Never)
        return nb::none();
    const InstrumentTerms *terms = gateway().market().market.find(symbol);
    if (fault == ResolutionFault::Error || !terms) {
        fire("InstrumentResolved", nb::make_tuple(args[0], nb::none(), error_for(home(), symbol, fault)));
        return nb::none();
    }
    gateway().market_instrument(*terms);
    std::shared_ptr<CqgInstrument> instrument;
    for (const auto &held : instruments_->items())
        if (held->key() == terms->full_name)
            instrument = held;
    if (!instrument) {
        instrument = make_emulated<CqgInstrument>(home(), *terms, record_);
        instruments_->add(instrument);
    }
    fire("InstrumentResolved",
         nb::make_tuple(args[0], interface_for_this_thread(instrument), nb::none()));
    return nb::none();
}

nb::object Cqgcel::remove_instrument(nb::tuple args) {
    auto instrument = object_argument<CqgInstrument>(args);
    record_call("RemoveInstrument", args);
    // Events already on their way may still read it; only new quotes stop.
    if (instruments_->remove(instrument.get()))
        instrument->stop();
    return nb::none();
}

nb::object Cqgcel::instruments() { return interface_for_this_thread(instruments_); }

nb::object Cqgcel::create_ticks_request(nb::tuple args) {
    require_argument_count(args, 0);
    record_call("CreateTicksRequest", args);
    return interface_for_this_thread(make_emulated<CqgTicksRequest>(home(), record_));
}

nb::object Cqgcel::request_ticks(nb::tuple args) {
    auto request = object_argument<CqgTicksRequest>(args);
    record_call("RequestTicks", args);
    ResolutionFault fault = next_fault(ResolutionKind::Ticks);
    if (fault == ResolutionFault::Never)
        return nb::none();
    const std::string &symbol = request->symbol_text();
    const InstrumentTerms *terms = gateway().market().market.find(symbol);
    if (fault == ResolutionFault::Error || !terms) {
        auto ticks = make_emulated<CqgTicks>(home(), request->copy(), std::string());
        fire("TicksResolved", nb::make_tuple(interface_for_this_thread(ticks),
                                             error_for(home(), symbol, fault)));
        return nb::none();
    }
    gateway().market_instrument(*terms);
    auto ticks = make_emulated<CqgTicks>(home(), request->copy(), terms->full_name);
    all_ticks_->add(ticks);
    fire("TicksResolved", nb::make_tuple(interface_for_this_thread(ticks), nb::none()));
    return nb::none();
}

nb::object Cqgcel::remove_ticks(nb::tuple args) {
    auto ticks = object_argument<CqgTicks>(args);
    record_call("RemoveTicks", args);
    all_ticks_->remove(ticks.get());
    return nb::none();
}

nb::object Cqgcel::all_ticks() { return interface_for_this_thread(all_ticks_); }

nb::object Cqgcel::create_timed_bars_request(nb::tuple args) {
    require_argument_count(args, 0);
    record_call("CreateTimedBarsRequest", args);
    return interface_for_this_thread(make_emulated<CqgTimedBarsRequest>(home(), record_));
}

nb::object Cqgcel::request_timed_bars(nb::tuple args) {
    auto request = object_argument<CqgTimedBarsRequest>(args);
    record_call("RequestTimedBars", args);
    ResolutionFault fault = next_fault(ResolutionKind::Bars);
    if (fault == ResolutionFault::Never)
        return nb::none();
    const std::string &symbol = request->symbol_text();
    const InstrumentTerms *terms = gateway().market().market.find(symbol);
    if (fault == ResolutionFault::Error || !terms) {
        auto bars = make_emulated<CqgTimedBars>(home(), request->copy(), std::string(),
                                                std::vector<MarketBar>());
        fire("TimedBarsResolved", nb::make_tuple(interface_for_this_thread(bars),
                                                 error_for(home(), symbol, fault)));
        return nb::none();
    }
    MarketInstrument &instrument = gateway().market_instrument(*terms);
    std::shared_ptr<CqgTimedBarsRequest> sent = request->copy();
    auto bars = make_emulated<CqgTimedBars>(home(), sent, terms->full_name,
                                            instrument.bars.window(sent->lookback()));
    all_timed_bars_->add(bars);
    fire("TimedBarsResolved", nb::make_tuple(interface_for_this_thread(bars), nb::none()));
    return nb::none();
}

nb::object Cqgcel::remove_timed_bars(nb::tuple args) {
    auto bars = object_argument<CqgTimedBars>(args);
    record_call("RemoveTimedBars", args);
    all_timed_bars_->remove(bars.get());
    return nb::none();
}

nb::object Cqgcel::all_timed_bars() { return interface_for_this_thread(all_timed_bars_); }

} // namespace cqgemu
