// What the live market says about one instrument, one update at a time: mostly a new best bid
// and ask or a trade, now and then the day's open, high or low or a settlement, and sometimes a
// quote marked invalid. Plain C++, no Python; the live market turns the quote kinds into CQG's
// constants as it delivers them.
#pragma once

#include "price_walk.hpp"

#include <cstddef>
#include <vector>

namespace cqgemu {

enum class FeedQuote { Bid, Ask, Trade, DayOpen, DayHigh, DayLow, Settlement, YesterdaySettlement };

struct QuoteSample {
    FeedQuote type;
    double price;
    double volume;
    bool valid;
};

// The day so far, as the instrument's quotes report it.
struct TradingDay {
    double open = 0.0;
    double high = 0.0;
    double low = 0.0;
    double yesterday_settlement = 0.0;
    bool started = false;
};

// Appends one update (one or two quotes) for the instrument to `out`; the walk moves.
void next_update(PriceWalk &walk, TradingDay &day, std::vector<QuoteSample> &out);

// Turns a rate per second into whole counts over the intervals it is asked about, carrying the
// fraction over, so that many short intervals add up to the rate.
class RateCounter {
public:
    explicit RateCounter(double per_second = 0.0) : per_second_(per_second) {}
    size_t due(double elapsed_seconds);
    // Seconds until `count` more are due; +infinity at a rate of zero.
    double seconds_until(size_t count) const;

private:
    double per_second_;
    double carry_ = 0.0;
};

} // namespace cqgemu
