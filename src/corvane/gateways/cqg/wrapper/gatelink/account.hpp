// GATELINK's account side: following one CQG account, finding an account by its gateway
// id, rebuilding the balance record and the position list, and the account callback.
#pragma once

#include <nanobind/nanobind.h>

#include "gatelink_scope.hpp"

namespace corvane::gatelink {

void subscribe_account_and_positions(ScopeRef scope, nb::handle self, nb::handle GWAccountID);
void unsubscribe_account_and_positions(ScopeRef scope, nb::handle self,
                                       nb::handle GWAccountID);
nb::object get_account_from_gwaccountid(ScopeRef scope, nb::handle self, nb::handle GWAccountID);
void update_account_balance(ScopeRef scope, nb::handle self);
void update_positions(ScopeRef scope, nb::handle self);
void on_account_changed(ScopeRef scope, nb::handle self, nb::handle change,
                        nb::handle cqgAccount, nb::handle cqgPosition);

} // namespace corvane::gatelink
