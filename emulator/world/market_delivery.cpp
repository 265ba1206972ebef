#include "market_delivery.hpp"

#include "scenario.hpp"
#include "cqg/cqg_timed_bars.hpp"
#include "cqg/cqgcel.hpp"
#include "platform/interface.hpp"
#include "platform/thread_queue.hpp"

namespace cqgemu {

namespace {

void close_bars_at_minute(std::weak_ptr<MarketState> weak, double boundary);

void schedule_minute_closing(const std::shared_ptr<MarketState> &state) {
    if (state->minute_closing_scheduled)
        return;
    state->minute_closing_scheduled = true;
    EmulatedClock &clock = world().clock;
    double boundary = minute_of(clock.now()) + BAR_SECONDS;
    std::weak_ptr<MarketState> weak = state;
    clock.schedule_after(boundary - clock.now(),
                         [weak, boundary] { close_bars_at_minute(weak, boundary); });
}

// At each minute the clock crosses, every bar formed before it is completed.
void close_bars_at_minute(std::weak_ptr<MarketState> weak, double boundary) {
    std::shared_ptr<MarketState> state = weak.lock();
    if (!state)
        return; // the market was replaced meanwhile
    if (state->replay)
        return; // a replay's bars are those recorded
    std::shared_ptr<Cqgcel> cel = connected_cel();
    EventBatch batch;
    for (MarketInstrument *instrument : state->market.made())
        if (instrument->bars.forming().open_time + BAR_SECONDS <= boundary)
            close_forming_bar(cel.get(), *instrument, BarOverrides{}, batch);
    if (cel)
        cel->fire(batch);
    double next = boundary + BAR_SECONDS;
    world().clock.schedule_after(next - world().clock.now(),
                                 [weak, next] { close_bars_at_minute(weak, next); });
}

bool contains(const std::string &full_name, const std::string &symbol) {
    return !symbol.empty() && full_name.find(symbol) != std::string::npos;
}

} // namespace

nb::object for_home(const Cqgcel &cel, std::shared_ptr<EmulatedObject> object) {
    return new_interface(Interface{std::move(object), cel.home()->thread_ident});
}

std::shared_ptr<Cqgcel> connected_cel() {
    std::shared_ptr<Cqgcel> cel = world().current_cel.lock();
    if (cel && cel->disconnected())
        return nullptr;
    return cel;
}

MarketInstrument &market_instrument(const InstrumentTerms &terms) {
    std::shared_ptr<MarketState> state = world().market;
    MarketInstrument &instrument = state->market.instrument(terms, world().clock.now());
    schedule_minute_closing(state);
    return instrument;
}

size_t deliver_quotes(Cqgcel &cel, const std::string &symbol,
                      const std::vector<QuoteValue> &quotes, EventBatch &batch) {
    size_t events = 0;
    for (const std::shared_ptr<CqgInstrument> &instrument : cel.resolved_instruments()) {
        if (!instrument->streaming() || !contains(instrument->key(), symbol))
            continue;
        const std::shared_ptr<CqgInstrumentProperties> &properties =
            instrument->property_collection();
        nb::object instrument_argument =
            batch.shared_argument(instrument.get(), [&] { return for_home(cel, instrument); });
        nb::object properties_argument =
            batch.shared_argument(properties.get(), [&] { return for_home(cel, properties); });
        auto collection = make_transient<CqgQuotes>(cel.home(), quotes);
        batch.add("InstrumentChanged",
                  nb::make_tuple(std::move(instrument_argument),
                                 for_home(cel, std::move(collection)),
                                 std::move(properties_argument)));
        ++events;
    }
    return events;
}

size_t deliver_ticks(Cqgcel &cel, const std::string &symbol, const std::vector<TickValue> &ticks,
                     EventBatch &batch) {
    if (ticks.empty())
        return 0;
    size_t events = 0;
    for (const std::shared_ptr<CqgTicks> &subscription : cel.ticks_subscriptions()) {
        if (!contains(subscription->key(), symbol))
            continue;
        for (const TickValue &tick : ticks)
            subscription->append(tick);
        // Only the kept ticks can be reported as added.
        size_t added = std::min(ticks.size(), subscription->count());
        batch.add("TicksAdded", nb::make_tuple(for_home(cel, subscription), nb::int_(added)));
        ++events;
    }
    return events;
}

size_t close_forming_bar(Cqgcel *cel, MarketInstrument &instrument, const BarOverrides &given,
                         EventBatch &batch) {
    MarketBar closed = instrument.bars.close_forming(instrument.walk, given);
    return cel ? deliver_closed_bar(*cel, instrument, closed, batch) : 0;
}

size_t deliver_closed_bar(Cqgcel &cel, MarketInstrument &instrument, const MarketBar &closed,
                          EventBatch &batch) {
    size_t events = 0;
    for (const std::shared_ptr<CqgTimedBars> &bars : cel.timed_bars_subscriptions()) {
        if (bars->key() != instrument.terms.full_name || !bars->updates())
            continue;
        bars->add_closed(closed, instrument.bars.forming());
        batch.add("TimedBarsAdded", nb::make_tuple(for_home(cel, bars)));
        ++events;
    }
    return events;
}

size_t deliver_forming_bar(Cqgcel &cel, MarketInstrument &instrument, EventBatch &batch) {
    size_t events = 0;
    for (const std::shared_ptr<CqgTimedBars> &bars : cel.timed_bars_subscriptions()) {
        if (bars->key() != instrument.terms.full_name || !bars->updates())
            continue;
        bars->update_forming(instrument.bars.forming());
        batch.add("TimedBarsUpdated",
                  nb::make_tuple(for_home(cel, bars), nb::int_(bars->count() - 1)));
        ++events;
    }
    return events;
}

} // namespace cqgemu
