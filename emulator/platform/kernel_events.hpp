// Win32 event objects and the waits on them, including the wait that also wakes for the
// calling thread's message queue.
#pragma once

#include <nanobind/nanobind.h>

namespace cqgemu {

namespace nb = nanobind;

constexpr unsigned long WAIT_OBJECT_0 = 0;
constexpr unsigned long WAIT_ABANDONED_0 = 0x80;
constexpr unsigned long WAIT_TIMEOUT = 0x102;
constexpr unsigned long WAIT_FAILED = 0xFFFFFFFF;
constexpr unsigned long INFINITE = 0xFFFFFFFF;
constexpr unsigned long QS_ALLEVENTS = 0x04BF;
constexpr unsigned long QS_ALLINPUT = 0x04FF;

// CreateEvent, SetEvent, ResetEvent, WaitForSingleObject, WaitForMultipleObjects,
// MsgWaitForMultipleObjects and the constants above.
void define_kernel_events(nb::module_ &module);

} // namespace cqgemu
