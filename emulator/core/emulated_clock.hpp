// The emulated clock and the actions scheduled on it.
//
// Deterministic mode (tests): time moves only when advance() is called, and the actions that
// fall due run then, in time order. Live mode (demo): a background driver advances the clock
// every `step` of wall time by `step * speed`. Actions run with the GIL held; they post
// messages to apartments, so what they cause still happens inside the owners' pumps.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace cqgemu {

class EmulatedClock {
public:
    static constexpr double DEFAULT_START = 1767571200.0; // 2026-01-05 00:00:00 UTC

    double now() const { return now_; }
    void set_time(double epoch_seconds) { now_ = epoch_seconds; }

    void schedule_after(double delay_seconds, std::function<void()> action);
    // Called at the end of every advance with the seconds it moved (the live market's feed);
    // an empty function removes it. One listener at a time.
    void set_advance_listener(std::function<void(double)> listener) {
        listener_ = std::move(listener);
    }
    void advance(double seconds);
    size_t pending_count() const { return pending_.size(); }

    // Drops every pending action and returns to deterministic mode at the default start.
    void reset();

    void start_live(double speed, double step_seconds);
    void stop_live();
    bool live() const { return driver_.joinable(); }

private:
    using Due = std::pair<double, std::uint64_t>; // time, then order of scheduling

    double now_ = DEFAULT_START;
    std::uint64_t next_sequence_ = 0;
    std::map<Due, std::function<void()>> pending_;
    std::function<void(double)> listener_;

    // One per live run, shared with its driver thread, so that a run being stopped is never
    // confused with the next one.
    struct DriverControl {
        std::mutex mutex;
        std::condition_variable wake;
        bool stop_requested = false;
    };

    // Both changed only with the GIL held.
    std::thread driver_;
    std::shared_ptr<DriverControl> control_;
};

} // namespace cqgemu
