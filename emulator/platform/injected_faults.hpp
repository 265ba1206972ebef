// Property reads and calls a test has made fail: reading (or calling) a member on objects of a
// type raises the server's error, a given number of times or until the faults are cleared.
// Touched only with the GIL held.
#pragma once

#include <optional>
#include <string>

namespace cqgemu {

class EmulatedObject;
struct Member;

// `times` empty: until clear_faults(). A second fault on the same member replaces the first.
void fail_member(const std::string &type_name, const std::string &member,
                 std::optional<long> times);
void clear_faults();

// Raises the injected error if a fault is set on this member of this object's type, counting it.
void raise_if_faulted(const EmulatedObject &target, const Member &member);

} // namespace cqgemu
