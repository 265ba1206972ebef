#include "market_controls.hpp"

#include "live_market.hpp"
#include "market_delivery.hpp"
#include "module_function.hpp"
#include "scenario.hpp"
#include "scenario_input.hpp"
#include "scenario_market.hpp"
#include "cqg/cqgcel.hpp"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

namespace cqgemu {

namespace {

MarketInstrument &instrument_named(const std::string &symbol) {
    const InstrumentTerms *terms = world().market->market.find(symbol);
    if (!terms)
        fail(PyExc_ValueError, "no instrument of the scenario matches '" + symbol + "'");
    return market_instrument(*terms);
}

size_t fire_batch(Cqgcel &cel, EventBatch &batch) {
    size_t events = batch.events.size();
    cel.fire(batch);
    return events;
}

size_t push_quotes(const std::string &symbol, nb::handle quotes) {
    std::vector<QuoteValue> values = quotes_from_python(quotes);
    std::shared_ptr<Cqgcel> cel = current_cel();
    EventBatch batch;
    deliver_quotes(*cel, symbol, values, batch);
    return fire_batch(*cel, batch);
}

size_t push_ticks(const std::string &symbol, nb::handle ticks) {
    std::vector<TickValue> values = ticks_from_python(ticks, world().clock.now());
    std::shared_ptr<Cqgcel> cel = current_cel();
    EventBatch batch;
    deliver_ticks(*cel, symbol, values, batch);
    return fire_batch(*cel, batch);
}

void set_history(const std::string &symbol, nb::handle bars) {
    std::vector<MarketBar> values = bars_from_python(bars);
    instrument_named(symbol).bars.replace(std::move(values));
}

size_t close_bar(const std::string &symbol, std::optional<double> open,
                 std::optional<double> high, std::optional<double> low,
                 std::optional<double> close, std::optional<double> volume) {
    MarketInstrument &instrument = instrument_named(symbol);
    std::shared_ptr<Cqgcel> cel = connected_cel();
    EventBatch batch;
    close_forming_bar(cel.get(), instrument, BarOverrides{open, high, low, close, volume}, batch);
    return cel ? fire_batch(*cel, batch) : 0;
}

size_t update_forming_bar(const std::string &symbol, double close, std::optional<double> volume) {
    MarketInstrument &instrument = instrument_named(symbol);
    instrument.bars.update_forming(close, volume);
    std::shared_ptr<Cqgcel> cel = connected_cel();
    if (!cel)
        return 0;
    EventBatch batch;
    deliver_forming_bar(*cel, instrument, batch);
    return fire_batch(*cel, batch);
}

void fail_next_resolution(const std::string &kind, const std::string &mode) {
    ResolutionKind which;
    if (kind == "instrument")
        which = ResolutionKind::Instrument;
    else if (kind == "ticks")
        which = ResolutionKind::Ticks;
    else if (kind == "bars")
        which = ResolutionKind::Bars;
    else
        fail(PyExc_ValueError, "kind must be 'instrument', 'ticks' or 'bars'");
    ResolutionFault fault;
    if (mode == "error")
        fault = ResolutionFault::Error;
    else if (mode == "never")
        fault = ResolutionFault::Never;
    else
        fail(PyExc_ValueError, "mode must be 'error' or 'never'");
    world().market->fail_next(which, fault);
}

nb::dict market_stats() {
    const MarketStats &stats = world().market->live.stats;
    nb::dict result;
    result["events"] = stats.events;
    result["quotes"] = stats.quotes;
    result["ticks"] = stats.ticks;
    result["bars"] = stats.bars;
    result["batches"] = stats.batches;
    result["quotes_skipped"] = stats.quotes_skipped;
    result["ticks_skipped"] = stats.ticks_skipped;
    return result;
}

// (number of the first, [time posted of each]) of the valid quotes of the feed or a replay not
// taken yet.
nb::tuple take_quote_times() {
    PostedQuoteTimes &posted = world().market->quote_times;
    posted.noting = true;
    nb::list times;
    for (std::int64_t time : posted.times)
        times.append(time);
    nb::tuple taken = nb::make_tuple(posted.first, times);
    posted.first += posted.times.size();
    posted.times.clear();
    return taken;
}

nb::list call_log() {
    nb::list log;
    for (const nb::object &entry : last_record().object_calls)
        log.append(entry);
    return log;
}

} // namespace

void define_market_controls(nb::module_ &m) {
    using pyglue::def_function;
    def_function(m, "push_quotes", &push_quotes, nb::arg("symbol"), nb::arg("quotes"));
    def_function(m, "push_ticks", &push_ticks, nb::arg("symbol"), nb::arg("ticks"));
    def_function(m, "set_history", &set_history, nb::arg("symbol"), nb::arg("bars"));
    def_function(m, "close_bar", &close_bar, nb::arg("symbol"), nb::arg("open") = nb::none(),
          nb::arg("high") = nb::none(), nb::arg("low") = nb::none(),
          nb::arg("close") = nb::none(), nb::arg("volume") = nb::none());
    def_function(m, "update_forming_bar", &update_forming_bar, nb::arg("symbol"), nb::arg("close"),
          nb::arg("volume") = nb::none());
    def_function(m, "fail_next_resolution", &fail_next_resolution, nb::arg("kind"), nb::arg("mode"));
    def_function(m, "start_market", &start_market, nb::arg("quotes_per_second"),
          nb::arg("ticks_per_second") = nb::none(), nb::arg("bar_seconds") = nb::none(),
          nb::kw_only(), nb::arg("live") = true, nb::arg("step") = 0.01);
    def_function(m, "stop_market", &stop_market);
    def_function(m, "market_stats", &market_stats);
    def_function(m, "call_log", &call_log);
    def_function(m, "take_quote_times", &take_quote_times);
}

} // namespace cqgemu
