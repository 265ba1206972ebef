// GATELINK's orders: placing a framework order and handing its CQG GUID back, cancelling by
// GUID, turning order changes and fills into order updates and deals for the framework
// gateway, and naming CQG order statuses as the framework's OrderStatus.
#pragma once

#include <nanobind/nanobind.h>

#include "gatelink_scope.hpp"

namespace corvane::gatelink {

nb::object place_order(ScopeRef scope, nb::handle self, nb::handle order);
void cancel_order(ScopeRef scope, nb::handle self, nb::handle orderid);
void on_order_changed(ScopeRef scope, nb::handle self, nb::handle changeType,
                      nb::handle cqgOrder, nb::handle oldProperties, nb::handle cqgFill,
                      nb::handle cqgError);

// The module function convert_orderstatus_cqg2cv(status).
nb::object convert_orderstatus_cqg2cv(ScopeRef scope, nb::handle status);

} // namespace corvane::gatelink
