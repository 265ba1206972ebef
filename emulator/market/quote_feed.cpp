#include "quote_feed.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cqgemu {

namespace {

double lots(PriceWalk &walk) { return 1.0 + static_cast<double>(walk.next_random() % 100); }

} // namespace

void next_update(PriceWalk &walk, TradingDay &day, std::vector<QuoteSample> &out) {
    if (!day.started) {
        day = TradingDay{walk.price(), walk.price(), walk.price(), walk.price(), true};
    }
    const double tick = walk.tick_size();
    const unsigned draw = static_cast<unsigned>(walk.next_random() % 100);
    if (draw < 45) { // the book moves: both sides at once
        double price = walk.step();
        out.push_back({FeedQuote::Bid, price - tick, lots(walk), true});
        out.push_back({FeedQuote::Ask, price + tick, lots(walk), true});
    } else if (draw < 85) {
        double price = walk.step();
        out.push_back({FeedQuote::Trade, price, lots(walk), true});
        if (price > day.high) {
            day.high = price;
            out.push_back({FeedQuote::DayHigh, price, 0.0, true});
        } else if (price < day.low) {
            day.low = price;
            out.push_back({FeedQuote::DayLow, price, 0.0, true});
        }
    } else if (draw < 91) {
        out.push_back({FeedQuote::DayOpen, day.open, 0.0, true});
    } else if (draw < 95) {
        out.push_back({FeedQuote::Settlement, walk.price(), 0.0, true});
    } else if (draw < 98) {
        out.push_back({FeedQuote::YesterdaySettlement, day.yesterday_settlement, 0.0, true});
    } else { // a quote the server marks invalid
        out.push_back({FeedQuote::Bid, 0.0, 0.0, false});
    }
}

size_t RateCounter::due(double elapsed_seconds) {
    if (!(per_second_ > 0) || !(elapsed_seconds > 0))
        return 0;
    double exact = per_second_ * elapsed_seconds + carry_;
    double whole = std::floor(exact);
    carry_ = exact - whole;
    return static_cast<size_t>(whole);
}

} // namespace cqgemu

namespace cqgemu {

double RateCounter::seconds_until(size_t count) const {
    if (!(per_second_ > 0))
        return std::numeric_limits<double>::infinity();
    return std::max(0.0, (static_cast<double>(count) - carry_) / per_second_);
}

} // namespace cqgemu
