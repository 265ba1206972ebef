#include "injected_faults.hpp"

#include "com_errors.hpp"
#include "emulated_object.hpp"

#include <map>
#include <utility>

namespace cqgemu {

namespace {

struct Fault {
    std::optional<long> remaining; // empty: every time
};

// Keyed by type name and lower-case member name.
std::map<std::pair<std::string, std::string>, Fault> &faults() {
    static auto *all = new std::map<std::pair<std::string, std::string>, Fault>;
    return *all;
}

} // namespace

void fail_member(const std::string &type_name, const std::string &member,
                 std::optional<long> times) {
    auto key = std::make_pair(type_name, lower_ascii(member));
    if (times && *times <= 0) {
        faults().erase(key);
        return;
    }
    faults()[key] = Fault{times};
}

void clear_faults() { faults().clear(); }

void raise_if_faulted(const EmulatedObject &target, const Member &member) {
    if (faults().empty())
        return;
    auto it = faults().find(std::make_pair(std::string(target.type_name()), lower_ascii(member.name)));
    if (it == faults().end())
        return;
    if (it->second.remaining && --*it->second.remaining <= 0)
        faults().erase(it);
    raise_server_error(target.type_name(), "Failed to get " + member.name,
                       hresult::DISP_E_EXCEPTION);
}

} // namespace cqgemu
