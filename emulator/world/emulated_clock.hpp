// The emulated clock and the actions scheduled on it.
//
// Deterministic mode (tests): time moves only when advance() is called, and the actions that
// fall due run then, in time order. Live mode (demo): a background driver advances the clock
// by the wall time gone by times `speed`, every `step` of wall time and besides whenever an
// action or the listener's next event falls due, so that what is due is posted then rather than
// at the next step. Actions run with the GIL held; they post messages to apartments, so what
// they cause still happens inside the owners' pumps.
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

// What an advance listener tells the live driver about its next event.
struct AdvancePacing {
    // GIL held: the emulated time at which the listener next has something to post; +infinity
    // for nothing (or empty).
    std::function<double()> next_due;
    // Any thread, without the GIL: true while what the listener posted last still waits in a
    // pump's queue. Meanwhile the driver does not wake for its next event, only for its steps.
    std::function<bool()> holding_back;
    // GIL held: at unbounded speed, the emulated time the driver moves the clock to, so that
    // one advance gives the listener a batch's worth (empty: next_due).
    std::function<double()> batch_end;
};

class EmulatedClock {
public:
    static constexpr double DEFAULT_START = 1767571200.0; // 2026-01-05 00:00:00 UTC

    double now() const { return now_; }
    void set_time(double epoch_seconds) { now_ = epoch_seconds; }

    void schedule_after(double delay_seconds, std::function<void()> action);
    // Called at the end of every advance with the seconds it moved (the live market's feed, a
    // replay); an empty function removes it. One listener at a time.
    void set_advance_listener(std::function<void(double)> listener, AdvancePacing pacing = {}) {
        listener_ = std::move(listener);
        pacing_ = std::move(pacing);
    }
    void advance(double seconds);
    size_t pending_count() const { return pending_.size(); }

    // Drops every pending action and returns to deterministic mode at the default start.
    void reset();

    // `speed` may be +infinity: the driver then moves the clock straight to whatever falls due
    // next, as soon as the listener is not holding back.
    void start_live(double speed, double step_seconds);
    void stop_live();
    bool live() const { return driver_.joinable(); }

private:
    using Due = std::pair<double, std::uint64_t>; // time, then order of scheduling

    // The emulated time of the first pending action or the listener's next event. GIL held.
    double next_due() const;
    double next_due_action() const; // of the first pending action alone

    double now_ = DEFAULT_START;
    std::uint64_t next_sequence_ = 0;
    std::map<Due, std::function<void()>> pending_;
    std::function<void(double)> listener_;
    AdvancePacing pacing_;

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
