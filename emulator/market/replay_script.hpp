// A recorded market to replay: its events in recorded order, the bars known before its market
// starts, and the cursor the replay moves along it. Plain C++, no Python; quote and tick types
// are CQG's constants already.
#pragma once

#include "bar_history.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cqgemu {

enum class ReplayKind { Quote, Tick, Bar };

// Epoch seconds, as the emulated clock counts, of a time in nanoseconds.
inline double epoch_seconds(std::int64_t ns) { return static_cast<double>(ns) / 1e9; }

struct ReplayEvent {
    ReplayKind kind = ReplayKind::Quote;
    std::int64_t time_ns = 0; // nanoseconds since the Unix epoch
    size_t instrument = 0; // index into the script's instruments
    long type = 0;         // the quote's or the tick's type constant
    double price = 0.0;
    double volume = 0.0;
    bool valid = true;
    MarketBar bar; // a bar event's bar, in its recorded state
};

class ReplayScript {
public:
    // The bars one CQG event carries reach a recorder one after the other, each with its own
    // receipt time, well within this span.
    static constexpr std::int64_t BAR_RUN_NS = 1'000'000;

    // `events` in recorded order, each naming an index of `instruments`. Times never run
    // backwards: an event stamped before the one ahead of it is taken as at that one's time.
    // The history known when the market starts (history()) is every bar event ahead of the
    // first quote or tick, and each instrument's first run of bars (the answer to a request:
    // its window and forming bar) wherever it comes; the replay begins at the first of the
    // other events.
    ReplayScript(std::vector<std::string> instruments, std::vector<ReplayEvent> events);

    const std::vector<std::string> &instruments() const { return instruments_; }
    const std::vector<ReplayEvent> &history() const { return history_; }
    size_t size() const { return events_.size(); }

    // When the replayed market starts and ends, in nanoseconds (the history's last time when
    // nothing follows it; 0 for an empty script).
    std::int64_t start_ns() const { return start_; }
    std::int64_t end_ns() const { return end_; }

    size_t position() const { return cursor_; }
    bool finished() const { return cursor_ == events_.size(); }
    // The time of the next event in epoch seconds; +infinity once finished.
    double next_time() const;
    // The time of the event `ahead` places after the next one (the last one's when fewer are
    // left); +infinity once finished.
    double time_ahead(size_t ahead) const;

    // The events from the cursor that reach a sink as one CQG event: consecutive quotes (or
    // ticks) of one instrument and one time, or consecutive bars of one instrument received
    // within BAR_RUN_NS of the first. Moves the cursor past them; empty once finished.
    std::pair<const ReplayEvent *, const ReplayEvent *> take_group();

private:
    static bool continues_run(const ReplayEvent &first, const ReplayEvent &next);

    std::vector<std::string> instruments_;
    std::vector<ReplayEvent> history_;
    std::vector<ReplayEvent> events_;
    std::int64_t start_ = 0;
    std::int64_t end_ = 0;
    size_t cursor_ = 0;
};

} // namespace cqgemu
