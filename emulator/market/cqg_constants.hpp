// CQG's named constants, as the CQGCEL type library would make them available. Plain C++ of the
// market layer: the account book keeps sides and levels as these values, and the CQG objects
// and the module read them from here.
//
// As in a real type library, each enumeration numbers its members from 0 or 1, so values repeat
// across enumerations: a constant can be false, and comparing a value with a constant of the
// wrong enumeration can match by accident.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cqgemu {

struct Enumeration {
    const char *name;
    long first;                        // the value of the first member
    std::vector<const char *> members; // member i has the value first + i
};

const std::vector<Enumeration> &cqg_enumerations();

std::optional<long> cqg_constant(std::string_view name);

// The member name of `value` in the named enumeration, or empty.
std::string constant_name(const char *enumeration, long value);

bool is_member(const char *enumeration, long value);

} // namespace cqgemu
