#include "cqg_symbol.hpp"

namespace corvane::gatelink {

std::string cqg_symbol_from_full_name(std::string_view full_name) {
    std::size_t last_dot = full_name.rfind('.');
    if (last_dot == std::string_view::npos)
        return std::string(full_name);
    return std::string(full_name.substr(last_dot + 1));
}

} // namespace corvane::gatelink
