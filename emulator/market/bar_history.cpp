#include "bar_history.hpp"

#include <algorithm>

namespace cqgemu {

namespace {

bool valid(double value) { return value != INVALID_BAR_VALUE; }

MarketBar opening_bar(double open_time, double price) {
    MarketBar bar;
    bar.open_time = open_time;
    bar.open = bar.high = bar.low = bar.close = price;
    bar.volume = 0.0;
    bar.tick_volume = 0.0;
    return bar;
}

// A few trades of the walk added to `bar`.
void walk_through(MarketBar &bar, PriceWalk &walk, int trades) {
    for (int i = 0; i < trades; ++i) {
        double price = walk.step();
        double lots = 1.0 + static_cast<double>(walk.next_random() % 50);
        if (!valid(bar.open))
            bar.open = bar.high = bar.low = price;
        bar.high = valid(bar.high) ? std::max(bar.high, price) : price;
        bar.low = valid(bar.low) ? std::min(bar.low, price) : price;
        bar.close = price;
        bar.volume = (valid(bar.volume) ? bar.volume : 0.0) + lots;
        bar.tick_volume = (valid(bar.tick_volume) ? bar.tick_volume : 0.0) + 1.0;
    }
}

} // namespace

BarHistory BarHistory::generated(PriceWalk &walk, double forming_open_time, size_t count,
                                 double invalid_fraction) {
    BarHistory history;
    count = std::min(count, LIMIT);
    for (size_t i = 0; i < count; ++i) {
        MarketBar bar = opening_bar(
            forming_open_time - static_cast<double>(count - i) * BAR_SECONDS, walk.price());
        walk_through(bar, walk, 4);
        for (double *field : {&bar.open, &bar.high, &bar.low, &bar.close, &bar.volume})
            if (walk.uniform() < invalid_fraction)
                *field = INVALID_BAR_VALUE;
        if (!valid(bar.volume))
            bar.tick_volume = INVALID_BAR_VALUE;
        history.completed_.push_back(bar);
    }
    history.forming_ = opening_bar(forming_open_time, walk.price());
    return history;
}

std::vector<MarketBar> BarHistory::window(size_t lookback) const {
    size_t taken = std::min(lookback, completed_.size());
    std::vector<MarketBar> bars(completed_.end() - static_cast<std::ptrdiff_t>(taken),
                                completed_.end());
    if (has_forming_)
        bars.push_back(forming_);
    return bars;
}

void BarHistory::clear() {
    completed_.clear();
    forming_ = MarketBar{};
    has_forming_ = false;
}

RecordedBar BarHistory::record(const MarketBar &bar) {
    if (!has_forming_ || bar.open_time > forming_.open_time) {
        if (has_forming_)
            completed_.push_back(forming_);
        keep_bounded();
        forming_ = bar;
        has_forming_ = true;
        return RecordedBar::Opened;
    }
    if (bar.open_time == forming_.open_time) {
        forming_ = bar;
        return RecordedBar::Formed;
    }
    // Completed bars stay in time order: a newer state replaces its bar, a missing bar goes in
    // its place.
    auto at = std::lower_bound(completed_.begin(), completed_.end(), bar.open_time,
                               [](const MarketBar &kept, double t) { return kept.open_time < t; });
    if (at != completed_.end() && at->open_time == bar.open_time)
        *at = bar;
    else
        completed_.insert(at, bar);
    keep_bounded();
    return RecordedBar::Revised;
}

void BarHistory::replace(std::vector<MarketBar> bars) {
    completed_.assign(bars.begin(), bars.end());
    keep_bounded();
    const size_t count = completed_.size();
    for (size_t i = 0; i < count; ++i)
        completed_[i].open_time =
            forming_.open_time - static_cast<double>(count - i) * BAR_SECONDS;
    double last_close = count > 0 && valid(completed_.back().close) ? completed_.back().close
                                                                    : forming_.open;
    forming_ = opening_bar(forming_.open_time, last_close);
    has_forming_ = true;
}

void BarHistory::trade(double price, double volume) {
    forming_.high = std::max(forming_.high, price);
    forming_.low = std::min(forming_.low, price);
    forming_.close = price;
    forming_.volume += volume;
    forming_.tick_volume += 1.0;
}

void BarHistory::update_forming(double close, std::optional<double> volume) {
    forming_.high = std::max(forming_.high, close);
    forming_.low = std::min(forming_.low, close);
    forming_.close = close;
    if (volume)
        forming_.volume = *volume;
    forming_.tick_volume += 1.0;
}

MarketBar BarHistory::close_forming(PriceWalk &walk, const BarOverrides &given) {
    MarketBar bar = forming_;
    walk_through(bar, walk, 2);
    if (given.open)
        bar.open = *given.open;
    if (given.high)
        bar.high = *given.high;
    if (given.low)
        bar.low = *given.low;
    if (given.close)
        bar.close = *given.close;
    if (given.volume)
        bar.volume = *given.volume;
    completed_.push_back(bar);
    keep_bounded();
    double next_open = valid(bar.close) ? bar.close : walk.price();
    forming_ = opening_bar(bar.open_time + BAR_SECONDS, next_open);
    has_forming_ = true;
    return bar;
}

void BarHistory::keep_bounded() {
    while (completed_.size() > LIMIT)
        completed_.pop_front();
}

} // namespace cqgemu
