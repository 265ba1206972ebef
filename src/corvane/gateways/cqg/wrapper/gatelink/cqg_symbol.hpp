// The CQG symbol of an instrument: the text after the last "." of its CQG full name
// ("F.US.EPZ26" gives "EPZ26"), or the whole name when it has no ".". Plain C++.
#pragma once

#include <string>
#include <string_view>

namespace corvane::gatelink {

std::string cqg_symbol_from_full_name(std::string_view full_name);

} // namespace corvane::gatelink
