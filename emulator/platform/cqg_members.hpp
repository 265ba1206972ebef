// The names of CQGCEL's members, spelt exactly as its type library declares them: the one list
// the emulated objects may declare members from, and the one a check of the gateway's own
// spelling reads (corvane_emulator.declared_members()). Part of the platform, as the type
// library it has registered is: a member table refuses any other name.
#pragma once

#include <string_view>
#include <vector>

namespace cqgemu {

// CQGCEL's members, every type's together (properties and methods).
const std::vector<const char *> &cqg_member_names();

// Members of the emulator's own test object (corvane_emulator.make_probe()), not of CQGCEL.
const std::vector<const char *> &probe_member_names();

// Whether an emulated object may declare a member of this name (spelt exactly so).
bool is_declared_member_name(std::string_view name);

} // namespace cqgemu
