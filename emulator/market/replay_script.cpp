#include "replay_script.hpp"

#include <algorithm>
#include <limits>
#include <optional>

namespace cqgemu {

bool ReplayScript::continues_run(const ReplayEvent &first, const ReplayEvent &next) {
    if (next.kind != first.kind || next.instrument != first.instrument)
        return false;
    if (first.kind == ReplayKind::Bar)
        return next.time_ns - first.time_ns <= BAR_RUN_NS;
    return next.time_ns == first.time_ns;
}

ReplayScript::ReplayScript(std::vector<std::string> instruments, std::vector<ReplayEvent> events)
    : instruments_(std::move(instruments)) {
    std::int64_t latest = std::numeric_limits<std::int64_t>::min();
    bool market_started = false;
    std::vector<bool> has_bars(instruments_.size(), false);
    std::optional<ReplayEvent> run; // the first bar of the run going on
    bool run_is_history = false;
    for (ReplayEvent &event : events) {
        latest = std::max(latest, event.time_ns);
        event.time_ns = latest;
        if (event.kind != ReplayKind::Bar) {
            market_started = true;
            run.reset();
            events_.push_back(std::move(event));
            continue;
        }
        if (!run || !continues_run(*run, event)) {
            run = event;
            run_is_history = !market_started || !has_bars.at(event.instrument);
            has_bars[event.instrument] = true;
        }
        (run_is_history ? history_ : events_).push_back(std::move(event));
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

double ReplayScript::time_ahead(size_t ahead) const {
    if (finished())
        return std::numeric_limits<double>::infinity();
    size_t at = std::min(cursor_ + ahead, events_.size() - 1);
    return epoch_seconds(events_[at].time_ns);
}

std::pair<const ReplayEvent *, const ReplayEvent *> ReplayScript::take_group() {
    const ReplayEvent *first = events_.data() + cursor_;
    if (finished())
        return {first, first};
    size_t end = cursor_ + 1;
    while (end < events_.size() && continues_run(*first, events_[end]))
        ++end;
    cursor_ = end;
    return {first, events_.data() + end};
}

} // namespace cqgemu
