#include "live_market.hpp"

#include "market_delivery.hpp"
#include "order_flow.hpp"
#include "scenario.hpp"
#include "cqg/cqgcel.hpp"
#include "market/cqg_constants.hpp"

#include <nanobind/nanobind.h>

#include <algorithm>
#include <limits>
#include <map>
#include <utility>
#include <stdexcept>
#include <string>
#include <vector>

namespace cqgemu {

namespace {

long quote_type_constant(FeedQuote type) {
    static const long values[] = {
        *cqg_constant("qtBid"),      *cqg_constant("qtAsk"),       *cqg_constant("qtTrade"),
        *cqg_constant("qtDayOpen"),  *cqg_constant("qtDayHigh"),   *cqg_constant("qtDayLow"),
        *cqg_constant("qtSettlement"), *cqg_constant("qtYesterdaySettlement")};
    return values[static_cast<int>(type)];
}

// The distinct instruments the CQGCEL streams quotes of, or has tick requests for.
std::vector<const InstrumentTerms *> quoted_instruments(const Cqgcel &cel, const Market &market) {
    std::vector<const InstrumentTerms *> found;
    for (const auto &instrument : cel.resolved_instruments())
        if (instrument->streaming())
            if (const InstrumentTerms *terms = market.find(instrument->key()))
                if (std::find(found.begin(), found.end(), terms) == found.end())
                    found.push_back(terms);
    return found;
}

std::vector<const InstrumentTerms *> ticked_instruments(const Cqgcel &cel, const Market &market) {
    std::vector<const InstrumentTerms *> found;
    for (const auto &ticks : cel.ticks_subscriptions())
        if (const InstrumentTerms *terms = market.find(ticks->key()))
            if (std::find(found.begin(), found.end(), terms) == found.end())
                found.push_back(terms);
    return found;
}

struct FeedRound {
    Cqgcel &cel;
    MarketState &state;
    EventBatch batch;
    std::vector<MarketInstrument *> traded; // forming bars that moved
    std::vector<QuoteSample> samples;
    std::vector<QuoteValue> quotes;
    std::map<std::string, MarketTop> moved; // the latest book of each instrument quoted
    size_t valid_quotes = 0;
    bool subscribed = false; // anything streams or has a tick request

    void mark_traded(MarketInstrument &instrument) {
        if (std::find(traded.begin(), traded.end(), &instrument) == traded.end())
            traded.push_back(&instrument);
    }

    void post_quotes(size_t due) {
        std::vector<const InstrumentTerms *> instruments = quoted_instruments(cel, state.market);
        if (instruments.empty())
            return;
        subscribed = true;
        LiveFeed &live = state.live;
        if (live.quotes_ahead >= due) {
            live.quotes_ahead -= due;
            return;
        }
        due -= live.quotes_ahead;
        size_t made = 0;
        while (made < due) {
            const InstrumentTerms &terms = *instruments[live.next_instrument++ % instruments.size()];
            MarketInstrument &instrument = market_instrument(terms);
            samples.clear();
            next_update(instrument.walk, instrument.day, samples);
            quotes.clear();
            for (const QuoteSample &sample : samples) {
                quotes.push_back({quote_type_constant(sample.type), sample.price, sample.volume,
                                  sample.valid});
                if (sample.type == FeedQuote::Trade) {
                    instrument.bars.trade(sample.price, sample.volume);
                    mark_traded(instrument);
                }
                note_book(terms.full_name, sample);
            }
            for (const QuoteSample &sample : samples)
                valid_quotes += sample.valid ? 1 : 0;
            made += samples.size();
            size_t events = deliver_quotes(cel, terms.full_name, quotes, batch);
            live.stats.quotes += events * samples.size();
        }
        live.quotes_ahead = made - due;
    }

    void note_book(const std::string &instrument, const QuoteSample &sample) {
        if (!sample.valid || (sample.type != FeedQuote::Bid && sample.type != FeedQuote::Ask))
            return;
        auto [found, first] = moved.try_emplace(instrument);
        MarketTop &top = found->second;
        if (first)
            top = market_for(instrument);
        top.quote(sample.type == FeedQuote::Bid, sample.price, sample.volume);
    }

    // Resting orders meet the market the quotes just told of; their fills follow the quotes.
    void match_orders() {
        for (const auto &[instrument, top] : moved)
            move_market(&cel, instrument, top, batch);
    }

    void post_ticks(size_t due, double now) {
        std::vector<const InstrumentTerms *> instruments = ticked_instruments(cel, state.market);
        if (instruments.empty())
            return;
        subscribed = true;
        static const long types[] = {*cqg_constant("tptBid"), *cqg_constant("tptAsk"),
                                     *cqg_constant("tptTrade")};
        std::vector<std::vector<TickValue>> by_instrument(instruments.size());
        LiveFeed &live = state.live;
        for (size_t i = 0; i < due; ++i) {
            size_t which = live.next_instrument++ % instruments.size();
            MarketInstrument &instrument = market_instrument(*instruments[which]);
            double price = instrument.walk.step();
            long type = types[instrument.walk.next_random() % 3];
            double tick = instrument.walk.tick_size();
            double quoted = type == types[0] ? price - tick : type == types[1] ? price + tick : price;
            double lots = 1.0 + static_cast<double>(instrument.walk.next_random() % 100);
            by_instrument[which].push_back({type, quoted, lots, now});
        }
        for (size_t i = 0; i < instruments.size(); ++i) {
            size_t events = deliver_ticks(cel, instruments[i]->full_name, by_instrument[i], batch);
            live.stats.ticks += events * by_instrument[i].size();
        }
    }

    void post_bars(double now) {
        LiveFeed &live = state.live;
        if (live.bar_seconds > 0 && now >= live.next_bar_close) {
            for (MarketInstrument *instrument : state.market.made())
                live.stats.bars += close_forming_bar(&cel, *instrument, BarOverrides{}, batch);
            live.next_bar_close = now + live.bar_seconds;
            return;
        }
        for (MarketInstrument *instrument : traded)
            deliver_forming_bar(cel, *instrument, batch);
    }
};

// What fell due while the last batch still waited is owed to the next one, up to a limit past
// which it is skipped (a real feed conflates): a slow handler never makes the owed count grow
// without bound.
void owe(size_t &owed, size_t due, std::uint64_t &skipped) {
    owed += due;
    if (owed > LiveFeed::OWED_LIMIT) {
        skipped += owed - LiveFeed::OWED_LIMIT;
        owed = LiveFeed::OWED_LIMIT;
    }
}

void feed(std::weak_ptr<MarketState> weak, double elapsed) {
    std::shared_ptr<MarketState> state = weak.lock();
    if (!state || !state->live.running)
        return;
    std::shared_ptr<Cqgcel> cel = connected_cel();
    LiveFeed &live = state->live;
    size_t quotes_due = live.quotes.due(elapsed);
    size_t ticks_due = live.ticks.due(elapsed);
    if (!cel)
        return;
    // The live driver does not outrun the pump: while its last batch still waits in a queue,
    // what falls due waits too (and beyond a limit is skipped), so a slow handler never makes
    // the queue grow without bound, and a pump handling one batch has the next one waiting. A
    // test advancing the clock itself gets every batch.
    if (world().clock.live() && live.posted.waiting()) {
        owe(live.quotes_owed, quotes_due, live.stats.quotes_skipped);
        owe(live.ticks_owed, ticks_due, live.stats.ticks_skipped);
        return;
    }
    quotes_due += std::exchange(live.quotes_owed, 0);
    ticks_due += std::exchange(live.ticks_owed, 0);
    FeedRound round{*cel, *state, EventBatch{}, {}, {}, {}, {}};
    round.post_quotes(quotes_due);
    round.post_ticks(ticks_due, world().clock.now());
    round.post_bars(world().clock.now());
    round.match_orders();
    live.idle = !round.subscribed;
    if (round.batch.empty())
        return;
    live.stats.events += round.batch.events.size();
    ++live.stats.batches;
    state->quote_times.note(round.valid_quotes);
    cel->fire(round.batch, live.posted.token());
}

// When the feed next has something to post: its next quote or tick at the set rates (after the
// quotes it posted ahead), or the next close of its own bars; never while nothing subscribes.
double next_feed_due(std::weak_ptr<MarketState> weak) {
    std::shared_ptr<MarketState> state = weak.lock();
    double none = std::numeric_limits<double>::infinity();
    if (!state || !state->live.running || state->live.idle)
        return none;
    LiveFeed &live = state->live;
    double now = world().clock.now();
    if (live.quotes_owed > 0 || live.ticks_owed > 0)
        return now;
    double due = now + std::min(live.quotes.seconds_until(live.quotes_ahead + 1),
                                live.ticks.seconds_until(1));
    if (live.bar_seconds > 0)
        due = std::min(due, live.next_bar_close);
    return due;
}

[[noreturn]] void refuse(const char *text) {
    PyErr_SetString(PyExc_ValueError, text);
    throw nb::python_error();
}

} // namespace

void start_market(double quotes_per_second, std::optional<double> ticks_per_second,
                  std::optional<double> bar_seconds, bool live, double step) {
    double tick_rate = ticks_per_second.value_or(quotes_per_second);
    if (!(quotes_per_second >= 0) || !(tick_rate >= 0))
        refuse("start_market() needs rates that are not negative");
    if (bar_seconds && !(*bar_seconds >= 1))
        refuse("bar_seconds must be at least one second");
    std::shared_ptr<MarketState> state = world().market;
    LiveFeed &feed_state = state->live;
    feed_state.running = true;
    feed_state.quotes = RateCounter(quotes_per_second);
    feed_state.ticks = RateCounter(tick_rate);
    feed_state.bar_seconds = bar_seconds.value_or(0.0);
    feed_state.next_bar_close = world().clock.now() + feed_state.bar_seconds;
    feed_state.quotes_owed = feed_state.ticks_owed = 0;
    feed_state.idle = false;
    std::weak_ptr<MarketState> weak = state;
    world().clock.set_advance_listener([weak](double elapsed) { feed(weak, elapsed); },
                                       AdvancePacing{[weak] { return next_feed_due(weak); },
                                                     feed_state.posted.waiting_check()});
    if (live && !world().clock.live())
        world().clock.start_live(1.0, step);
}

void stop_market() {
    world().clock.stop_live();
    world().market->live.running = false;
    world().clock.set_advance_listener(nullptr);
}

} // namespace cqgemu
