// pythoncom's part: apartments, interface identifiers, marshaling streams, the message pump,
// and the control hooks on a thread's queue (quit message, injected wait result).
#pragma once

#include <nanobind/nanobind.h>

namespace cqgemu {

namespace nb = nanobind;

void define_com_runtime(nb::module_ &module);

// Raises CO_E_NOTINITIALIZED unless the calling thread is in an apartment.
void require_apartment();

} // namespace cqgemu
