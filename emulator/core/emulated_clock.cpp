#include "emulated_clock.hpp"

#include <nanobind/nanobind.h>

#include <chrono>

namespace cqgemu {

namespace nb = nanobind;

void EmulatedClock::schedule_after(double delay_seconds, std::function<void()> action) {
    pending_.emplace(Due{now_ + delay_seconds, next_sequence_++}, std::move(action));
}

void EmulatedClock::advance(double seconds) {
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
}

void EmulatedClock::reset() {
    stop_live();
    pending_.clear();
    now_ = DEFAULT_START;
}

void EmulatedClock::start_live(double speed, double step_seconds) {
    stop_live();
    stop_requested_ = false;
    driver_ = std::thread([this, speed, step_seconds] {
        auto step = std::chrono::duration<double>(step_seconds);
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(driver_mutex_);
                if (driver_wake_.wait_for(lock, step, [this] { return stop_requested_; }))
                    return;
            }
            nb::gil_scoped_acquire gil;
            try {
                advance(step_seconds * speed);
            } catch (nb::python_error &error) {
                error.discard_as_unraisable("emulated clock");
            }
        }
    });
}

void EmulatedClock::stop_live() {
    if (!driver_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(driver_mutex_);
        stop_requested_ = true;
    }
    driver_wake_.notify_all();
    nb::gil_scoped_release unlocked; // the driver may be waiting for the GIL
    driver_.join();
}

} // namespace cqgemu
