// win32com.client.Dispatch of a program id: "CQG.CQGCEL.4" makes a CQGCEL for the scenario in
// force, which becomes the world's current one; any other id is not registered.
#pragma once

#include <nanobind/nanobind.h>

#include <string>

namespace cqgemu {

namespace nb = nanobind;

nb::object create_by_program_id(const std::string &program_id);

} // namespace cqgemu
