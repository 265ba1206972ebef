// A replay's script and the bars a recording gives, on their own without Python: recorded order
// kept while times never run backwards, the history ahead of the market taken out, events
// grouped as CQG sends them, and bars opened, formed and revised.
#include "bar_history.hpp"
#include "replay_script.hpp"
#include "plain_check.hpp"

#include <cmath>

using namespace cqgemu;

namespace {

ReplayEvent event(ReplayKind kind, std::int64_t time_ns, size_t instrument, double price = 0.0) {
    ReplayEvent e;
    e.kind = kind;
    e.time_ns = time_ns;
    e.instrument = instrument;
    e.price = price;
    return e;
}

ReplayEvent bar_event(std::int64_t time_ns, double open_time, double close) {
    ReplayEvent e = event(ReplayKind::Bar, time_ns, 0);
    e.bar.open_time = open_time;
    e.bar.open = e.bar.high = e.bar.low = e.bar.close = close;
    return e;
}

void the_script_keeps_order_and_groups_events() {
    using K = ReplayKind;
    ReplayScript script({"F.US.EPZ26", "F.US.CLEF27"},
                        {bar_event(5, 0.0, 1.0), bar_event(7, 60.0, 2.0),
                         event(K::Quote, 100, 0, 1.0), event(K::Quote, 100, 0, 2.0),
                         event(K::Quote, 100, 1, 3.0), event(K::Quote, 90, 1, 4.0),
                         event(K::Tick, 100, 1, 5.0), bar_event(50, 60.0, 3.0),
                         event(K::Quote, 200, 0, 6.0)});
    CHECK(script.history().size() == 2 && "the bars ahead of the first quote are the history");
    CHECK(script.size() == 7 && script.start_ns() == 100 && script.end_ns() == 200);
    CHECK(script.next_time() == epoch_seconds(100));
    size_t sizes[] = {2, 2, 1, 1, 1};
    bool grouped = true;
    for (size_t expected : sizes) {
        auto [first, last] = script.take_group();
        grouped = grouped && static_cast<size_t>(last - first) == expected;
        grouped = grouped && first->time_ns >= 100; // an earlier stamp counts as the time ahead
    }
    CHECK(grouped && "one kind, one instrument, one time make one group, in recorded order");
    CHECK(script.finished() && std::isinf(script.next_time()));
    auto [first, last] = script.take_group();
    CHECK(first == last && "nothing is left once finished");

    // CLEF27's first bars come once its market runs (its request resolved later): they are its
    // history all the same; a run of bars received together is one event, a later one another.
    ReplayEvent cl_first = bar_event(2000, 0.0, 1.0), cl_second = bar_event(3000, 60.0, 2.0);
    cl_first.instrument = cl_second.instrument = 1;
    ReplayEvent cl_closed = bar_event(5'000'000, 60.0, 2.5);
    ReplayEvent cl_next = bar_event(5'000'500, 120.0, 3.0);
    ReplayEvent cl_update = bar_event(9'000'000, 120.0, 3.5);
    cl_closed.instrument = cl_next.instrument = cl_update.instrument = 1;
    ReplayScript resolved({"F.US.EPZ26", "F.US.CLEF27"},
                          {event(K::Quote, 1000, 1), cl_first, cl_second,
                           event(K::Quote, 4000, 1), cl_closed, cl_next, cl_update});
    CHECK(resolved.history().size() == 2 && resolved.size() == 5);
    resolved.take_group();
    resolved.take_group();
    auto [closed, after] = resolved.take_group();
    CHECK(after - closed == 2 && closed->bar.close == 2.5 &&
          "the closed bar and the next: one event");
    auto [update, end] = resolved.take_group();
    CHECK(end - update == 1 && update->bar.close == 3.5 &&
          "a bar received later is an event of its own");

    ReplayScript bars_only({"F.US.EPZ26"}, {bar_event(5, 0.0, 1.0), bar_event(9, 60.0, 2.0)});
    CHECK(bars_only.finished() && bars_only.start_ns() == 9 &&
          "only history: it starts at its end");
    ReplayScript empty({}, {});
    CHECK(empty.finished() && empty.start_ns() == 0);
}

MarketBar bar_at(double open_time, double close) {
    MarketBar bar;
    bar.open_time = open_time;
    bar.open = bar.high = bar.low = bar.close = close;
    bar.volume = bar.tick_volume = 1.0;
    return bar;
}

void recorded_bars_open_form_and_revise() {
    BarHistory history;
    history.clear();
    CHECK(!history.has_forming() && history.window(10).empty() && "cleared: no bars at all");
    CHECK(history.record(bar_at(60.0, 1.0)) == RecordedBar::Opened);
    CHECK(history.completed().empty() && history.forming().close == 1.0);
    CHECK(history.record(bar_at(60.0, 2.0)) == RecordedBar::Formed &&
          history.forming().close == 2.0);
    CHECK(history.record(bar_at(120.0, 3.0)) == RecordedBar::Opened);
    CHECK(history.completed().size() == 1 && history.completed().back().close == 2.0 &&
          "the forming bar completes as it stood");
    CHECK(history.record(bar_at(60.0, 2.5)) == RecordedBar::Revised &&
          history.completed().back().close == 2.5 && "a completed bar's later state replaces it");
    CHECK(history.record(bar_at(0.0, 0.5)) == RecordedBar::Revised &&
          history.completed().front().open_time == 0.0 && history.completed().size() == 2 &&
          "a bar the history lacked goes in its place");
    std::vector<MarketBar> window = history.window(1);
    CHECK(window.size() == 2 && window[0].close == 2.5 && window[1].close == 3.0);
}

} // namespace

int main() {
    the_script_keeps_order_and_groups_events();
    recorded_bars_open_form_and_revise();
    return plain_check_result();
}
