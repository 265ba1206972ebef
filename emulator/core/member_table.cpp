#include "member_table.hpp"

#include "com_errors.hpp"

namespace cqgemu {

std::string lower_ascii(std::string_view name) {
    std::string lower(name);
    for (char &c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

const Member *MemberTable::find(std::string_view name) const {
    auto it = by_lower_name_.find(lower_ascii(name));
    return it == by_lower_name_.end() ? nullptr : &it->second;
}

void require_argument_count(nb::tuple args, size_t count) {
    if (args.size() != count)
        raise_com_error(hresult::DISP_E_BADPARAMCOUNT);
}

} // namespace cqgemu
