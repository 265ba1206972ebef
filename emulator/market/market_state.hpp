// The world's market between requests: the instruments' prices and bars, the faults a test has
// set on the next resolution, and the live feed's rates and counts. Plain C++, no Python.
// Replaced whole by reset() and load_scenario(), so that an action still pending on the clock
// for an old market finds it gone.
#pragma once

#include "market.hpp"
#include "quote_feed.hpp"

#include <atomic>
#include <chrono>
#include <functional>
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

// The batches a poster has fired that no pump has started on yet: each batch's token (handed to
// EventSource::fire with it) counts it until its message is run or dropped. Read without the GIL
// by the clock's live driver.
class PostedBatches {
public:
    std::shared_ptr<const void> token() {
        struct Token {
            explicit Token(std::shared_ptr<std::atomic<int>> of) : count(std::move(of)) {
                count->fetch_add(1, std::memory_order_relaxed);
            }
            ~Token() { count->fetch_sub(1, std::memory_order_release); }
            std::shared_ptr<std::atomic<int>> count;
        };
        return std::make_shared<const Token>(count_);
    }
    bool waiting() const { return count_->load(std::memory_order_acquire) > 0; }
    // A check of waiting() that outlives this object and needs no GIL.
    std::function<bool()> waiting_check() const {
        return [count = count_] { return count->load(std::memory_order_acquire) > 0; };
    }

private:
    std::shared_ptr<std::atomic<int>> count_ = std::make_shared<std::atomic<int>>(0);
};

// The valid quotes posted since a benchmark first asked (take_quote_times): when each was
// posted, on the clock of time.monotonic_ns(), numbered from `first`. Noted only once it has
// asked, so that an ordinary long run keeps none.
struct PostedQuoteTimes {
    bool noting = false;
    std::vector<std::int64_t> times;
    size_t first = 0;

    void note(size_t valid_quotes) {
        static constexpr size_t kKept = size_t(1) << 22; // a run nobody takes stays bounded
        if (!noting || valid_quotes == 0)
            return;
        std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        times.insert(times.end(), valid_quotes, now);
        if (times.size() > kKept) {
            size_t dropped = times.size() - kKept / 2;
            times.erase(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(dropped));
            first += dropped;
        }
    }
};

struct LiveFeed {
    bool running = false;
    RateCounter quotes;
    RateCounter ticks;
    double bar_seconds = 0.0; // 0: bars close at the clock's minutes
    double next_bar_close = 0.0;
    size_t next_instrument = 0; // round robin over the subscribed instruments
    size_t quotes_ahead = 0;    // posted past the rate (an update of two quotes), owed back
    // Due while the last batch still waited, posted with the next one (up to OWED_LIMIT).
    static constexpr size_t OWED_LIMIT = 1000;
    size_t quotes_owed = 0;
    size_t ticks_owed = 0;
    bool idle = false; // the last round found nothing subscribed
    PostedBatches posted;
    MarketStats stats;
};

struct Replay;

struct MarketState {
    explicit MarketState(MarketSettings settings = MarketSettings()) : market(std::move(settings)) {}

    Market market;
    bool minute_closing_scheduled = false;
    LiveFeed live;
    PostedQuoteTimes quote_times; // of the live feed or a replay
    // Set by load_replay: the recorded market replacing the walk (world/replay_market.hpp).
    std::shared_ptr<Replay> replay;

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
