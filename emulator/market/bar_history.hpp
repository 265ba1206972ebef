// An instrument's one-minute bars: the completed ones, oldest first, and the bar being formed.
// Plain C++, no Python. A field without a value holds INVALID_BAR_VALUE, as the server leaves it.
#pragma once

#include "price_walk.hpp"

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

namespace cqgemu {

constexpr double INVALID_BAR_VALUE = -2147483648.0;
constexpr double BAR_SECONDS = 60.0;

struct MarketBar {
    double open_time = 0.0; // epoch seconds of the bar's start
    double open = INVALID_BAR_VALUE;
    double high = INVALID_BAR_VALUE;
    double low = INVALID_BAR_VALUE;
    double close = INVALID_BAR_VALUE;
    double volume = INVALID_BAR_VALUE;
    double tick_volume = INVALID_BAR_VALUE;
};

// Values a test gives for a bar; an empty one is taken from the walk (or the forming bar).
struct BarOverrides {
    std::optional<double> open, high, low, close, volume;
};

// What a bar taken from a recording did to the history.
enum class RecordedBar {
    Opened,  // it starts after the forming bar, which completes as it stands; it now forms
    Formed,  // it is the forming bar, in a newer state
    Revised, // it is a completed bar (a newer state, or one the history lacked)
};

class BarHistory {
public:
    // Completed bars kept; older ones are dropped so that a long live run stays bounded.
    static constexpr size_t LIMIT = 10000;

    // `count` completed bars drawn from the walk, the last one ending at `forming_open_time`,
    // each field left INVALID with probability `invalid_fraction`; then a forming bar opening
    // at `forming_open_time` at the walk's price.
    static BarHistory generated(PriceWalk &walk, double forming_open_time, size_t count,
                                double invalid_fraction);

    const std::deque<MarketBar> &completed() const { return completed_; }
    const MarketBar &forming() const { return forming_; }
    // False only for a history emptied by clear() that no bar has reached since.
    bool has_forming() const { return has_forming_; }

    // The last `lookback` completed bars (fewer when the history is shorter), then the forming
    // bar (if any): what a timed-bars request with that look-back sees.
    std::vector<MarketBar> window(size_t lookback) const;

    // Replaces the completed bars with `bars` (oldest first, their open times ignored), one
    // minute apart and ending where the forming bar opens; the forming bar opens afresh at the
    // last close.
    void replace(std::vector<MarketBar> bars);

    // A trade at `price` of `volume` lots in the forming bar.
    void trade(double price, double volume);

    // Sets the forming bar's close (and total volume, if given), widening its range to it.
    void update_forming(double close, std::optional<double> volume);

    // Completes the forming bar: unless given, its values are those it formed, moved on by a
    // few steps of the walk. The next bar opens one bar length later at the walk's price.
    // Returns the completed bar.
    MarketBar close_forming(PriceWalk &walk, const BarOverrides &given);

    // No bars at all, and none forming: a replay's history before its first recorded bar.
    void clear();

    // A bar as a recording gives it, in its latest state (open times identify bars).
    RecordedBar record(const MarketBar &bar);

private:
    void keep_bounded();

    std::deque<MarketBar> completed_;
    MarketBar forming_;
    bool has_forming_ = true;
};

} // namespace cqgemu
