// Timed bars: the bar subscription, the rolling window of completed bars kept per security,
// and the window handed to the framework after its missing values are repaired.
#pragma once

#include <nanobind/nanobind.h>

#include "gatelink_scope.hpp"

namespace corvane::gatelink {

nb::object get_timedbars_from_cqg_symbol(ScopeRef scope, nb::handle self, nb::handle cqg_symbol);
void subscribe_bar(ScopeRef scope, nb::handle self, nb::handle cqg_symbol,
                   nb::handle lookback_period, nb::handle freq);
void unsubscribe_bar(ScopeRef scope, nb::handle self, nb::handle cqg_symbol);
nb::object get_subscribe_bars_data(ScopeRef scope, nb::handle self, nb::handle security);

void on_timed_bars_resolved(ScopeRef scope, nb::handle self, nb::handle cqgTimedBars,
                            nb::handle cqgError);
void on_timed_bars_added(ScopeRef scope, nb::handle self, nb::handle cqgTimedBars);
void on_timed_bars_updated(ScopeRef scope, nb::handle self, nb::handle cqgTimedBars,
                           nb::handle index);
void on_timed_bars_removed(ScopeRef scope, nb::handle self, nb::handle cqgTimedBars,
                           nb::handle index);
void dump_bar(ScopeRef scope, nb::handle self, nb::handle bar, nb::handle index);

} // namespace corvane::gatelink
