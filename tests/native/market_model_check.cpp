// The emulator's market model on its own, without Python: the walk, the bars and the live
// feed's rates. Prints each failed check and exits non-zero if any failed.
#include "bar_history.hpp"
#include "market.hpp"
#include "price_walk.hpp"
#include "quote_feed.hpp"
#include "native_check.hpp"

#include <cmath>

using namespace cqgemu;
using native_check::check;
using native_check::failures;

namespace {

bool on_tick(double price, double tick) {
    double ticks = price / tick;
    return std::fabs(ticks - std::round(ticks)) < 1e-6;
}

void walks_are_seeded_and_stay_on_ticks() {
    PriceWalk a(instrument_seed(1, "F.US.CLEF27"), 70.0, 0.01);
    PriceWalk b(instrument_seed(1, "F.US.CLEF27"), 70.0, 0.01);
    PriceWalk other(instrument_seed(1, "F.US.EPZ26"), 70.0, 0.01);
    bool same = true, differs = false, ticks = true, positive = true;
    for (int i = 0; i < 5000; ++i) {
        double pa = a.step();
        same = same && pa == b.step();
        differs = differs || pa != other.step();
        ticks = ticks && on_tick(pa, 0.01);
        positive = positive && pa >= 0.01;
    }
    check(same, "the same seed and name give the same walk");
    check(differs, "another name gives another walk");
    check(ticks && positive, "prices stay on the tick grid and above zero");
    PriceWalk low(3, 0.02, 0.01);
    for (int i = 0; i < 1000; ++i)
        low.step();
    check(low.price() >= 0.01, "a walk near zero never reaches it");
}

void history_ends_before_the_forming_bar() {
    PriceWalk walk(5, 6000.0, 0.25);
    BarHistory history = BarHistory::generated(walk, 600.0, 10, 0.0);
    check(history.completed().size() == 10, "the asked number of bars");
    check(history.completed().front().open_time == 0.0 &&
              history.completed().back().open_time == 540.0,
          "one minute apart, ending where the forming bar opens");
    bool consistent = true;
    for (const MarketBar &bar : history.completed())
        consistent = consistent && bar.low <= bar.open && bar.low <= bar.close &&
                     bar.high >= bar.open && bar.high >= bar.close && bar.volume > 0;
    check(consistent, "every generated bar's range holds its open and close");
    check(history.window(3).size() == 4 && history.window(50).size() == 11,
          "a window is the look-back (or all there is) and the forming bar");
    check(history.window(0).back().open_time == 600.0, "the forming bar comes last");

    BarHistory gaps = BarHistory::generated(walk, 600.0, 50, 1.0);
    bool all_invalid = true;
    for (const MarketBar &bar : gaps.completed())
        all_invalid = all_invalid && bar.open == INVALID_BAR_VALUE &&
                      bar.volume == INVALID_BAR_VALUE && bar.tick_volume == INVALID_BAR_VALUE;
    check(all_invalid, "an INVALID share of one leaves every field without a value");
    check(gaps.forming().open != INVALID_BAR_VALUE, "the forming bar always has a price");
}

void closing_moves_the_forming_bar_on() {
    PriceWalk walk(9, 100.0, 0.5);
    BarHistory history = BarHistory::generated(walk, 120.0, 2, 0.0);
    history.trade(101.0, 3.0);
    history.trade(99.0, 2.0);
    MarketBar closed = history.close_forming(walk, BarOverrides{{}, {}, {}, 100.5, {}});
    check(closed.open_time == 120.0 && closed.close == 100.5, "a given close is kept");
    check(closed.high >= 101.0 && closed.low <= 99.0 && closed.volume >= 5.0,
          "the trades of the bar stay in it");
    check(history.completed().size() == 3 && history.forming().open_time == 180.0 &&
              history.forming().open == 100.5,
          "the next bar opens a minute later at the close");
    history.update_forming(90.0, 42.0);
    check(history.forming().low == 90.0 && history.forming().volume == 42.0,
          "an update widens the range and sets the volume");

    BarHistory replaced = history;
    MarketBar gap;
    replaced.replace({gap, gap});
    check(replaced.completed().back().open_time == 120.0 && replaced.forming().open == 100.5,
          "replaced bars end before the forming bar, which keeps its price without a close");
}

void rates_add_up_over_short_steps() {
    RateCounter counter(1000.0);
    size_t total = 0;
    for (int i = 0; i < 1000; ++i)
        total += counter.due(0.0013);
    check(total == 1300 || total == 1299, "the fractions carry over between steps");
    check(RateCounter(0.0).due(5.0) == 0 && RateCounter(10.0).due(-1.0) == 0,
          "no rate or no time gives nothing");
}

void the_feed_mixes_quote_kinds() {
    PriceWalk walk(11, 6000.0, 0.25);
    TradingDay day;
    std::vector<QuoteSample> quotes;
    for (int i = 0; i < 2000; ++i)
        next_update(walk, day, quotes);
    int counts[8] = {};
    int invalid = 0;
    bool book_ok = true;
    for (size_t i = 0; i < quotes.size(); ++i) {
        if (!quotes[i].valid) {
            ++invalid;
            continue;
        }
        ++counts[static_cast<int>(quotes[i].type)];
        if (quotes[i].type == FeedQuote::Bid && i + 1 < quotes.size())
            book_ok = book_ok && quotes[i + 1].type == FeedQuote::Ask &&
                      quotes[i + 1].price > quotes[i].price;
    }
    check(counts[0] > counts[3] && counts[2] > counts[6], "bid, ask and trade come most often");
    check(counts[3] > 0 && counts[6] > 0 && counts[7] > 0 && invalid > 0,
          "day open, settlements and invalid quotes come now and then");
    check(book_ok, "a bid comes with an ask above it");
    check(day.low <= day.open && day.high >= day.open, "the day's range holds its open");
}

void markets_resolve_by_containment() {
    Market market;
    check(market.find("Z26") && market.find("Z26")->full_name == "F.US.EPZ26",
          "the first instrument containing the symbol");
    check(market.find("") == nullptr && market.find("XYZ") == nullptr, "no match, no instrument");
    MarketInstrument &es = market.instrument(*market.find("EP"), 125.0);
    check(es.bars.forming().open_time == 120.0 && es.bars.completed().size() == 200,
          "made with the default history, forming at the clock's minute");
    check(&market.instrument(*market.find("EP"), 999.0) == &es && market.made().size() == 1,
          "made once");
}

} // namespace

int main() {
    walks_are_seeded_and_stay_on_ticks();
    history_ends_before_the_forming_bar();
    closing_moves_the_forming_bar_on();
    rates_add_up_over_short_steps();
    the_feed_mixes_quote_kinds();
    markets_resolve_by_containment();
    return failures == 0 ? 0 : 1;
}
