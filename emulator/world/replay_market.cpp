#include "replay_market.hpp"

#include "market_delivery.hpp"
#include "order_flow.hpp"
#include "scenario.hpp"
#include "scenario_input.hpp"
#include "cqg/cqgcel.hpp"
#include "market/cqg_constants.hpp"

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string>

namespace cqgemu {

namespace {

// The most CQG events one live batch carries: a pump handles the batch ahead while the next
// one is made, and a slow pump never meets one batch of a whole recording.
constexpr size_t LIVE_BATCH_EVENTS = 1024;

// ---- reading the events ------------------------------------------------------------------

[[noreturn]] void refuse_event(size_t index, const std::string &what) {
    fail(PyExc_ValueError, "replay event at index " + std::to_string(index) + ": " + what);
}

// The value of `name` in the named enumeration; empty for a name that is not one of its members.
std::optional<long> member_constant(const char *enumeration, const std::string &name) {
    for (const Enumeration &e : cqg_enumerations())
        if (std::strcmp(e.name, enumeration) == 0)
            for (size_t i = 0; i < e.members.size(); ++i)
                if (name == e.members[i])
                    return e.first + static_cast<long>(i);
    return std::nullopt;
}

// The CQG symbol of a full name: what follows its last "."; a bare symbol is itself.
std::string symbol_of(const std::string &name) {
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

// The scenario's instrument a recorded name stands for: the one of that full name, else the
// one of that symbol.
const InstrumentTerms *followed(const Market &market, const std::string &name) {
    for (const InstrumentTerms &terms : market.settings().instruments)
        if (terms.full_name == name)
            return &terms;
    for (const InstrumentTerms &terms : market.settings().instruments)
        if (symbol_of(terms.full_name) == symbol_of(name))
            return &terms;
    return nullptr;
}

class EventReader {
public:
    EventReader(size_t index, nb::handle item) : index_(index) {
        if (!PyTuple_Check(item.ptr()) && !PyList_Check(item.ptr()))
            refuse_event(index, "a replay event is a tuple, not " +
                                    std::string(Py_TYPE(item.ptr())->tp_name));
        fields_ = nb::borrow(item);
        size_ = static_cast<size_t>(PySequence_Fast_GET_SIZE(item.ptr()));
    }

    static constexpr double MAX_VOLUME = 1e15;

    size_t index() const { return index_; }
    size_t size() const { return size_; }
    void require_size(size_t expected, const std::string &kind) const {
        if (size_ != expected)
            refuse_event(index_, "a " + kind + " event has " + std::to_string(expected) +
                                     " items, not " + std::to_string(size_));
    }

    nb::handle item(size_t i) const { return PySequence_Fast_GET_ITEM(fields_.ptr(), i); }

    std::string text(size_t i, const char *what) const {
        nb::handle value = item(i);
        if (!PyUnicode_Check(value.ptr()))
            refuse_event(index_, std::string(what) + " must be a str");
        Py_ssize_t length = 0;
        const char *utf8 = PyUnicode_AsUTF8AndSize(value.ptr(), &length);
        if (!utf8)
            throw nb::python_error();
        return std::string(utf8, static_cast<size_t>(length));
    }

    std::int64_t nanoseconds(size_t i, const char *what) const {
        nb::handle value = item(i);
        if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
            refuse_event(index_, std::string(what) + " must be an int of nanoseconds");
        int overflow = 0;
        long long ns = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
        if (overflow != 0 || (ns == -1 && PyErr_Occurred())) {
            PyErr_Clear();
            refuse_event(index_, std::string(what) + " is out of range");
        }
        return static_cast<std::int64_t>(ns);
    }

    // A finite float (an int too); `none_as` stands for None where it is allowed.
    double number(size_t i, const char *what, std::optional<double> none_as = std::nullopt) const {
        double value = any_number(i, what, none_as);
        if (!std::isfinite(value))
            refuse_event(index_, std::string(what) + " must be finite");
        return value;
    }

    // A lot count: CQG hands volumes out as whole numbers.
    double volume(size_t i, const char *what) const {
        double value = number(i, what, 0.0);
        if (!(value >= 0 && value <= MAX_VOLUME))
            refuse_event(index_, std::string(what) + " must be between 0 and 1e15");
        return value;
    }

    // A bar's value: NaN marks one the server left out, as INVALID does here.
    double bar_value(size_t i, const char *what) const {
        double value = any_number(i, what);
        if (std::isnan(value))
            return INVALID_BAR_VALUE;
        if (!std::isfinite(value) || std::fabs(value) > MAX_VOLUME)
            refuse_event(index_, std::string(what) + " must be finite, or NaN when missing");
        return value;
    }

    bool flag(size_t i, const char *what) const {
        nb::handle value = item(i);
        if (!PyBool_Check(value.ptr()))
            refuse_event(index_, std::string(what) + " must be a bool");
        return value.ptr() == Py_True;
    }

    long constant(size_t i, const char *enumeration, const char *what) const {
        std::string name = text(i, what);
        std::optional<long> value = member_constant(enumeration, name);
        if (!value)
            refuse_event(index_, std::string(what) + " '" + name + "' is not one of CQG's " +
                                     enumeration + " names");
        return *value;
    }

private:
    double any_number(size_t i, const char *what,
                      std::optional<double> none_as = std::nullopt) const {
        nb::handle value = item(i);
        if (value.is_none() && none_as)
            return *none_as;
        if (PyBool_Check(value.ptr()) || !(PyFloat_Check(value.ptr()) || PyLong_Check(value.ptr())))
            refuse_event(index_, std::string(what) + " must be a number");
        double number = PyFloat_AsDouble(value.ptr());
        if (number == -1.0 && PyErr_Occurred()) {
            PyErr_Clear();
            refuse_event(index_, std::string(what) + " is out of range");
        }
        return number;
    }

    size_t index_;
    nb::object fields_;
    size_t size_ = 0;
};

ReplayEvent read_event(const EventReader &reader) {
    ReplayEvent event;
    std::string kind = reader.text(0, "the kind");
    if (kind == "quote") {
        reader.require_size(7, kind);
        event.kind = ReplayKind::Quote;
        event.type = reader.constant(3, "eQuoteType", "the quote type");
        event.price = reader.number(4, "the price");
        event.volume = reader.volume(5, "the volume");
        event.valid = reader.flag(6, "is_valid");
    } else if (kind == "tick") {
        reader.require_size(6, kind);
        event.kind = ReplayKind::Tick;
        event.type = reader.constant(3, "eTickPriceType", "the price type");
        event.price = reader.number(4, "the price");
        event.volume = reader.volume(5, "the volume");
    } else if (kind == "bar") {
        reader.require_size(10, kind);
        event.kind = ReplayKind::Bar;
        MarketBar &bar = event.bar;
        bar.open_time = epoch_seconds(reader.nanoseconds(3, "the bar's start"));
        bar.open = reader.bar_value(4, "the open");
        bar.high = reader.bar_value(5, "the high");
        bar.low = reader.bar_value(6, "the low");
        bar.close = reader.bar_value(7, "the close");
        bar.volume = reader.bar_value(8, "the actual volume");
        bar.tick_volume = reader.bar_value(9, "the tick volume");
    } else {
        refuse_event(reader.index(),
                     "'" + kind + "' is no replay event kind ('quote', 'tick', 'bar')");
    }
    event.time_ns = reader.nanoseconds(1, "the time");
    return event;
}

// ---- posting -----------------------------------------------------------------------------

// One batch of replayed events: each group of the script becomes one CQG event per sink.
struct ReplayRound {
    Replay &replay;
    MarketState &state;
    Cqgcel *cel; // null: nobody listens, the market moves all the same
    EventBatch batch;
    std::vector<QuoteValue> quotes;
    std::vector<TickValue> ticks;
    size_t valid_quotes = 0;

    void post(const ReplayEvent *first, const ReplayEvent *last) {
        const InstrumentTerms &terms = *replay.terms[first->instrument];
        size_t before = batch.events.size();
        switch (first->kind) {
        case ReplayKind::Quote:
            post_quotes(terms, first, last);
            break;
        case ReplayKind::Tick:
            post_ticks(terms, first, last);
            break;
        case ReplayKind::Bar:
            post_bars(market_instrument(terms), first, last);
            break;
        }
        replay.cqg_events += batch.events.size() - before;
    }

    void post_quotes(const InstrumentTerms &terms, const ReplayEvent *first,
                     const ReplayEvent *last) {
        static const long bid = *cqg_constant("qtBid"), ask = *cqg_constant("qtAsk");
        quotes.clear();
        std::optional<MarketTop> top;
        for (const ReplayEvent *event = first; event != last; ++event) {
            quotes.push_back({event->type, event->price, event->volume, event->valid});
            if (!event->valid)
                continue;
            ++valid_quotes;
            if (event->type == bid || event->type == ask) {
                if (!top)
                    top = market_for(terms.full_name);
                top->quote(event->type == bid, event->price, event->volume);
            }
        }
        if (cel)
            state.live.stats.quotes +=
                deliver_quotes(*cel, terms.full_name, quotes, batch) * quotes.size();
        // Resting orders meet each recorded book as it comes; their fills follow its quotes.
        if (top)
            move_market(cel, terms.full_name, *top, batch);
    }

    void post_ticks(const InstrumentTerms &terms, const ReplayEvent *first,
                    const ReplayEvent *last) {
        ticks.clear();
        for (const ReplayEvent *event = first; event != last; ++event)
            ticks.push_back({event->type, event->price, event->volume,
                             epoch_seconds(event->time_ns)});
        if (cel)
            state.live.stats.ticks +=
                deliver_ticks(*cel, terms.full_name, ticks, batch) * ticks.size();
    }

    // A bar starting after the forming one completes that one (TimedBarsAdded); otherwise the
    // forming bar changed (TimedBarsUpdated). A completed bar's later state only updates the
    // history that requests see.
    void post_bars(MarketInstrument &instrument, const ReplayEvent *first,
                   const ReplayEvent *last) {
        bool had_forming = instrument.bars.has_forming();
        bool closed = false, formed = false;
        for (const ReplayEvent *event = first; event != last; ++event) {
            RecordedBar change = instrument.bars.record(event->bar);
            closed = closed || (change == RecordedBar::Opened && had_forming);
            formed = formed || change != RecordedBar::Revised;
            had_forming = true;
        }
        if (!cel)
            return;
        if (closed)
            state.live.stats.bars += deliver_closed_bar(*cel, instrument,
                                                        instrument.bars.completed().back(), batch);
        else if (formed)
            deliver_forming_bar(*cel, instrument, batch);
    }

    void fire() {
        if (!cel || batch.empty())
            return;
        state.live.stats.events += batch.events.size();
        ++state.live.stats.batches;
        state.quote_times.note(valid_quotes);
        cel->fire(batch, replay.posted.token());
    }
};

// The advance listener: posts every event the clock has reached. Live, while the last batch
// still waits in a queue the events wait too, and a batch carries at most LIVE_BATCH_EVENTS.
void post_due(std::weak_ptr<MarketState> weak) {
    std::shared_ptr<MarketState> state = weak.lock();
    if (!state || !state->replay)
        return;
    Replay &replay = *state->replay;
    bool live = world().clock.live();
    if (live && replay.posted.waiting())
        return;
    std::shared_ptr<Cqgcel> cel = connected_cel();
    ReplayRound round{replay, *state, cel.get(), EventBatch{}, {}, {}};
    double now = world().clock.now();
    size_t limit = live ? LIVE_BATCH_EVENTS : std::numeric_limits<size_t>::max();
    size_t groups = 0;
    while (replay.script.next_time() <= now && groups++ < limit) {
        auto [first, last] = replay.script.take_group();
        round.post(first, last);
    }
    round.fire();
}

double next_replay_due(std::weak_ptr<MarketState> weak) {
    std::shared_ptr<MarketState> state = weak.lock();
    if (!state || !state->replay)
        return std::numeric_limits<double>::infinity();
    return state->replay->script.next_time();
}

// As fast as it goes, one advance reaches a live batch's worth of events.
double replay_batch_end(std::weak_ptr<MarketState> weak) {
    std::shared_ptr<MarketState> state = weak.lock();
    if (!state || !state->replay)
        return std::numeric_limits<double>::infinity();
    return state->replay->script.time_ahead(LIVE_BATCH_EVENTS - 1);
}

Replay &loaded_replay() {
    std::shared_ptr<MarketState> state = world().market;
    if (!state->replay)
        fail(PyExc_RuntimeError, "no replay is loaded (load_replay)");
    return *state->replay;
}

} // namespace

nb::dict load_replay(nb::handle events, std::optional<double> speed, bool live, double step) {
    double pace = speed.value_or(std::numeric_limits<double>::infinity());
    if (!(pace > 0))
        fail(PyExc_ValueError, "speed must be above zero (None: as fast as possible)");
    if (!(step > 0))
        fail(PyExc_ValueError, "step must be above zero");

    // A fresh market of the same scenario: actions pending for the walk's market find it gone.
    const Market &scenario = world().market->market;
    auto state = std::make_shared<MarketState>(scenario.settings());
    std::map<std::string, size_t> index_of;
    std::vector<std::string> names;
    std::vector<const InstrumentTerms *> terms;
    std::map<std::string, size_t> left_out; // symbol -> events
    std::vector<ReplayEvent> read;

    nb::object iterator = nb::steal(PyObject_GetIter(events.ptr()));
    if (!iterator.is_valid())
        throw nb::python_error();
    size_t index = 0;
    for (;; ++index) {
        nb::object item = nb::steal(PyIter_Next(iterator.ptr()));
        if (!item.is_valid()) {
            if (PyErr_Occurred())
                throw nb::python_error();
            break;
        }
        EventReader reader(index, item);
        if (reader.size() < 3)
            refuse_event(index, "too few items for a replay event");
        ReplayEvent event = read_event(reader);
        std::string name = reader.text(2, "the instrument's full name");
        auto found = index_of.find(name);
        if (found == index_of.end()) {
            const InstrumentTerms *instrument = followed(state->market, name);
            if (!instrument) {
                ++left_out[symbol_of(name)];
                continue;
            }
            found = index_of.emplace(name, names.size()).first;
            names.push_back(name);
            terms.push_back(instrument);
        }
        event.instrument = found->second;
        read.push_back(std::move(event));
    }

    if (read.empty())
        fail(PyExc_ValueError, index == 0 ? "nothing to replay: no events"
                                          : "nothing to replay: no event names an instrument "
                                            "of the scenario");
    // Validated: from here on the world changes.
    for (const auto &[symbol, count] : left_out) {
        std::string warning = "the recording's symbol '" + symbol +
                              "' is not an instrument of the scenario; its " +
                              std::to_string(count) + " events are left out of the replay";
        if (PyErr_WarnEx(PyExc_RuntimeWarning, warning.c_str(), 1) < 0)
            throw nb::python_error();
    }
    EmulatedClock &clock = world().clock;
    clock.stop_live();
    auto replay = std::make_shared<Replay>(
        Replay{ReplayScript(names, std::move(read)), terms, PostedBatches{}, 0});
    state->replay = replay;
    state->quote_times.noting = world().market->quote_times.noting;
    world().market = state;
    clock.set_time(epoch_seconds(replay->script.start_ns()));

    // Every instrument's bars are the recording's (none for one it does not hold), starting
    // with those ahead of its market.
    for (const InstrumentTerms &instrument : state->market.settings().instruments)
        market_instrument(instrument).bars.clear();
    for (const ReplayEvent &bar : replay->script.history())
        market_instrument(*terms[bar.instrument]).bars.record(bar.bar);

    std::weak_ptr<MarketState> weak = state;
    clock.set_advance_listener(
        [weak](double) { post_due(weak); },
        AdvancePacing{[weak] { return next_replay_due(weak); }, replay->posted.waiting_check(),
                      [weak] { return replay_batch_end(weak); }});
    if (live)
        clock.start_live(pace, step);

    nb::dict loaded;
    loaded["events"] = replay->script.size();
    loaded["history_bars"] = replay->script.history().size();
    nb::list followed_names;
    for (const std::string &name : names)
        followed_names.append(nb::str(name.c_str()));
    loaded["instruments"] = followed_names;
    nb::dict skipped;
    for (const auto &[symbol, count] : left_out)
        skipped[nb::str(symbol.c_str())] = count;
    loaded["left_out"] = skipped;
    loaded["start"] = epoch_seconds(replay->script.start_ns());
    loaded["end"] = epoch_seconds(replay->script.end_ns());
    return loaded;
}

nb::dict replay_stats() {
    Replay &replay = loaded_replay();
    nb::dict stats;
    stats["events"] = replay.script.size();
    stats["posted"] = replay.script.position();
    stats["cqg_events"] = replay.cqg_events;
    stats["finished"] = replay.script.finished();
    stats["start"] = epoch_seconds(replay.script.start_ns());
    stats["end"] = epoch_seconds(replay.script.end_ns());
    return stats;
}

size_t advance_replay(size_t count) {
    Replay &replay = loaded_replay();
    if (world().clock.live())
        fail(PyExc_RuntimeError, "advance_replay() steps a replay whose clock is not live");
    std::shared_ptr<MarketState> state = world().market;
    std::shared_ptr<Cqgcel> cel = connected_cel();
    ReplayRound round{replay, *state, cel.get(), EventBatch{}, {}, {}};
    size_t posted = 0;
    double reached = world().clock.now();
    while (posted < count && !replay.script.finished()) {
        reached = std::max(reached, replay.script.next_time());
        auto [first, last] = replay.script.take_group();
        round.post(first, last);
        posted += static_cast<size_t>(last - first);
    }
    round.fire();
    world().clock.set_time(reached);
    return posted;
}

} // namespace cqgemu
