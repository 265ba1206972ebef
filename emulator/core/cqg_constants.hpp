// CQG's named constants, as the CQGCEL type library would make them available.
//
// Every value is distinct across all enumerations, not only within one: code that compares a
// value with a constant of the wrong enumeration never matches by accident.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cqgemu {

struct Enumeration {
    const char *name;
    std::vector<const char *> members; // member i has the value base + i
    long base;
};

const std::vector<Enumeration> &cqg_enumerations();

std::optional<long> cqg_constant(std::string_view name);

// The enumeration that holds `value`, or null.
const Enumeration *enumeration_of(long value);

// The member name of `value` in the named enumeration, or empty.
std::string constant_name(const char *enumeration, long value);

bool is_member(const char *enumeration, long value);

} // namespace cqgemu
