#include "replay_script.hpp"

#include <algorithm>
#include <limits>

namespace cqgemu {

ReplayScript::ReplayScript(std::vector<std::string> instruments, std::vector<ReplayEvent> events)
    : instruments_(std::move(instruments)) {
    std::int64_t latest = std::numeric_limits<std::int64_t>::min();
    bool market_started = false;
    for (ReplayEvent &event : events) {
        latest = std::max(latest, event.time_ns);
        event.time_ns = latest;
        market_started = market_started || event.kind != ReplayKind::Bar;
        (market_started ? events_ : history_).push_back(std::move(event));
    }
    if (!events_.empty()) {
        start_ = events_.front().time_ns;
        end_ = events_.back().time_ns;
    } else if (!history_.empty()) {
        start_ = end_ = history_.back().time_ns;
    }
}

double ReplayScript::next_time() const {
    return finished() ? std::numeric_limits<double>::infinity()
                      : epoch_seconds(events_[cursor_].time_ns);
}

std::pair<const ReplayEvent *, const ReplayEvent *> ReplayScript::take_group() {
    const ReplayEvent *first = events_.data() + cursor_;
    if (finished())
        return {first, first};
    size_t end = cursor_ + 1;
    while (end < events_.size() && events_[end].kind == first->kind &&
           events_[end].instrument == first->instrument && events_[end].time_ns == first->time_ns)
        ++end;
    cursor_ = end;
    return {first, events_.data() + end};
}

} // namespace cqgemu
