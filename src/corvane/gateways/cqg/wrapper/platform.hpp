// The COM platform (pywin32, or its stand-in where pywin32 is absent), looked up at the
// moment of use so that the bridge always talks to the modules the host has loaded.
#pragma once

#include <nanobind/nanobind.h>

namespace combridge {

namespace nb = nanobind;

nb::module_ threading_module();
nb::module_ pythoncom_module();
nb::module_ win32event_module();
nb::module_ win32com_client_module();

} // namespace combridge
