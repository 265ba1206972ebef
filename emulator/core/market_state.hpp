// The world's market between requests: the instruments' prices and bars, the faults a test has
// set on the next resolution, and the live feed's rates and counts. Plain C++, no Python.
// Replaced whole by reset() and load_scenario(), so that an action still pending on the clock
// for an old market finds it gone.
#pragma once

#include "market.hpp"
#include "quote_feed.hpp"

#include <cstdint>
#include <memory>
#include <vector>

namespace cqgemu {

enum class ResolutionKind { Instrument, Ticks, Bars };
enum class ResolutionFault { None, Error, Never };

// What the live market has posted so far.
struct MarketStats {
    std::uint64_t events = 0;
    std::uint64_t quotes = 0;
    std::uint64_t ticks = 0;
    std::uint64_t bars = 0;
    std::uint64_t batches = 0;
    // Due while the driver's previous batch still waited in a pump's queue, and never posted.
    std::uint64_t quotes_skipped = 0;
    std::uint64_t ticks_skipped = 0;
};

struct LiveFeed {
    bool running = false;
    RateCounter quotes;
    RateCounter ticks;
    double bar_seconds = 0.0; // 0: bars close at the clock's minutes
    double next_bar_close = 0.0;
    size_t next_instrument = 0; // round robin over the subscribed instruments
    size_t quotes_ahead = 0;    // posted past the rate (an update of two quotes), owed back
    std::weak_ptr<const void> last_batch; // alive while a pump has yet to take the last batch
    MarketStats stats;
    // When each valid quote of the feed was made (time.monotonic_ns()'s clock), numbered
    // from made_first; a benchmark takes them (take_quote_times) to measure latency. Noted
    // only once it has asked, so that an ordinary long run keeps none.
    bool noting_made = false;
    std::vector<std::int64_t> made_ns;
    size_t made_first = 0;
};

struct MarketState {
    explicit MarketState(MarketSettings settings = MarketSettings()) : market(std::move(settings)) {}

    Market market;
    bool minute_closing_scheduled = false;
    LiveFeed live;

    void fail_next(ResolutionKind kind, ResolutionFault fault) {
        next_fault_[static_cast<int>(kind)] = fault;
    }
    // The fault set for the next resolution of `kind`, which it uses up.
    ResolutionFault take_fault(ResolutionKind kind) {
        ResolutionFault fault = next_fault_[static_cast<int>(kind)];
        next_fault_[static_cast<int>(kind)] = ResolutionFault::None;
        return fault;
    }

private:
    ResolutionFault next_fault_[3] = {ResolutionFault::None, ResolutionFault::None,
                                      ResolutionFault::None};
};

} // namespace cqgemu
