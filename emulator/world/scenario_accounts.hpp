// The accounts of a scenario as a test writes them (lists of dicts) turned into the account
// book's plain records, with a clear ValueError or TypeError for anything malformed.
#pragma once

#include "market/account_book.hpp"

#include <nanobind/nanobind.h>

#include <vector>

namespace cqgemu {

namespace nb = nanobind;

// None gives the default accounts.
std::vector<AccountState> accounts_from_python(nb::handle accounts);

// "buy" / "sell" as CQG's side constants; an int is taken as a raw side value.
long position_side(nb::handle side);

} // namespace cqgemu
