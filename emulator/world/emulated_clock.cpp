#include "emulated_clock.hpp"

#include <nanobind/nanobind.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace cqgemu {

namespace nb = nanobind;

namespace {

// GIL held.
void report_unraisable(const char *what) {
    PyErr_SetString(PyExc_RuntimeError, what);
    nb::python_error error;
    error.discard_as_unraisable("emulated clock");
}

} // namespace

void EmulatedClock::schedule_after(double delay_seconds, std::function<void()> action) {
    pending_.emplace(Due{now_ + delay_seconds, next_sequence_++}, std::move(action));
}

void EmulatedClock::advance(double seconds) {
    // Time never runs backwards: actions are due in the order they were scheduled for.
    if (!(seconds >= 0))
        throw std::invalid_argument("advance() needs a number of seconds that is not negative");
    double target = now_ + seconds;
    // One action at a time: an action may schedule more, due within this same advance.
    while (!pending_.empty() && pending_.begin()->first.first <= target) {
        auto due = pending_.begin();
        now_ = std::max(now_, due->first.first);
        std::function<void()> action = std::move(due->second);
        pending_.erase(due);
        action();
    }
    now_ = target;
    if (listener_) {
        std::function<void(double)> listener = listener_; // it may replace itself
        listener(seconds);
    }
}

double EmulatedClock::next_due_action() const {
    return pending_.empty() ? std::numeric_limits<double>::infinity()
                            : pending_.begin()->first.first;
}

double EmulatedClock::next_due() const {
    double due = next_due_action();
    if (pacing_.next_due)
        due = std::min(due, pacing_.next_due());
    return due;
}

void EmulatedClock::reset() {
    stop_live();
    pending_.clear();
    listener_ = nullptr;
    pacing_ = AdvancePacing{};
    now_ = DEFAULT_START;
}

void EmulatedClock::start_live(double speed, double step_seconds) {
    // A step of zero would keep the driver busy taking the GIL; a negative speed would turn
    // the clock back.
    if (!(speed > 0) || !(step_seconds > 0))
        throw std::invalid_argument("start_live() needs a speed and a step above zero");
    stop_live();
    auto control = std::make_shared<DriverControl>();
    control_ = control;
    driver_ = std::thread([this, control, speed, step_seconds] {
        using WallClock = std::chrono::steady_clock;
        // Woken for an event whose predecessor still waits in a queue: how soon to look again,
        // later each time it still waits (a stalled pump keeps no driver busy), but never so
        // late that the events held back meanwhile make a long batch.
        constexpr auto kFirstRetry = std::chrono::microseconds(50);
        constexpr auto kLastRetry = std::chrono::microseconds(200);
        auto retry = std::chrono::duration_cast<WallClock::duration>(kFirstRetry);
        const auto step = std::chrono::duration_cast<WallClock::duration>(
            std::chrono::duration<double>(step_seconds));
        const bool unbounded = std::isinf(speed);
        auto stopped = [&] {
            std::lock_guard<std::mutex> lock(control->mutex);
            return control->stop_requested;
        };
        auto last = WallClock::now();
        auto next_step = last + step;
        auto wake = next_step;
        std::function<bool()> holding_back; // a copy, called without the GIL
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(control->mutex);
                if (control->wake.wait_until(lock, wake, [&] { return control->stop_requested; }))
                    return;
            }
            auto now = WallClock::now();
            if (now < next_step && holding_back && holding_back()) {
                wake = std::min(next_step, now + retry);
                retry = std::min<WallClock::duration>(retry * 2, kLastRetry);
                continue;
            }
            retry = std::chrono::duration_cast<WallClock::duration>(kFirstRetry);
            nb::gil_scoped_acquire gil;
            // A stop requested while this thread waited for the GIL ends the run here: once
            // stop_live() has been called the clock no longer moves by itself.
            if (stopped())
                return;
            now = WallClock::now();
            // Nothing may leave the driver: an action's failure is reported and the clock
            // goes on.
            try {
                double seconds;
                if (unbounded) {
                    double due = pacing_.batch_end
                                     ? std::min(pacing_.batch_end(), next_due_action())
                                     : next_due();
                    seconds = std::isfinite(due) ? std::max(0.0, due - now_) : 0.0;
                } else {
                    seconds = std::chrono::duration<double>(now - last).count() * speed;
                }
                advance(seconds);
            } catch (nb::python_error &error) {
                error.discard_as_unraisable("emulated clock");
            } catch (const std::exception &error) {
                report_unraisable(error.what());
            } catch (...) {
                report_unraisable("unknown C++ exception");
            }
            last = now;
            if (now >= next_step)
                next_step = now + step;
            wake = next_step;
            double due = next_due();
            if (std::isfinite(due)) {
                double ahead = unbounded ? 0.0 : std::max(0.0, (due - now_) / speed);
                if (ahead < step_seconds)
                    wake = std::min(wake, now + std::chrono::duration_cast<WallClock::duration>(
                                                    std::chrono::duration<double>(ahead)));
            }
            holding_back = pacing_.holding_back;
        }
    });
}

// GIL held. The driver is taken out of the clock before the GIL is let go for the join, so a
// second stop (or a start) from another thread meanwhile finds no driver to join.
void EmulatedClock::stop_live() {
    if (!driver_.joinable())
        return;
    std::thread driver = std::move(driver_);
    std::shared_ptr<DriverControl> control = std::move(control_);
    {
        std::lock_guard<std::mutex> lock(control->mutex);
        control->stop_requested = true;
    }
    control->wake.notify_all();
    nb::gil_scoped_release unlocked; // the driver may be waiting for the GIL
    driver.join();
}

} // namespace cqgemu
