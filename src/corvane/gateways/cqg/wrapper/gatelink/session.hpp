// GATELINK's session: construction, binding to the framework gateway, logon and logoff,
// and the connection and error callbacks.
#pragma once

#include <nanobind/nanobind.h>

#include "gatelink_scope.hpp"

namespace corvane::gatelink {

void construct(ScopeRef scope, nb::handle self);
void bind_gateway(ScopeRef scope, nb::handle self, nb::handle gateway);
void logon(ScopeRef scope, nb::handle self, nb::handle user_name, nb::handle password);
void logoff(ScopeRef scope, nb::handle self);

void on_data_error(ScopeRef scope, nb::handle self, nb::handle cqgError,
                   nb::handle errorDescription);
void on_gw_connection_status_changed(ScopeRef scope, nb::handle self,
                                     nb::handle connectionStatus);
void on_data_connection_status_changed(ScopeRef scope, nb::handle self, nb::handle newStatus);

} // namespace corvane::gatelink
