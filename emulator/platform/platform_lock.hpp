// The one lock of the emulated platform.
//
// Message queues, kernel events and cross-thread calls all change under this mutex, and every
// change is announced on the one condition variable; a waiter re-checks its own condition.
// With the handful of threads a bridge uses this is both simple and quick.
//
// Lock order: a thread may take this mutex while holding the GIL, never the GIL while holding
// this mutex. Nothing done under the mutex touches a Python object.
#pragma once

#include <condition_variable>
#include <mutex>

namespace cqgemu {

std::mutex &platform_mutex();
std::condition_variable &platform_changed();

} // namespace cqgemu
