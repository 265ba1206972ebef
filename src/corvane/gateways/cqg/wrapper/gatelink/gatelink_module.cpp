// The gateway link module: GATELINK, the one object through which the framework's CQG
// gateway talks to CQGCEL. Each concern (session, account, quotes, timed bars, order books,
// orders, market recording) is a file of plain functions over the module's Scope
// (gatelink_scope.hpp); this file lays out the module and holds the one ordered table of
// GATELINK's methods.
#include <nanobind/nanobind.h>

#include <memory>

#include "account.hpp"
#include "class_builder.hpp"
#include "gatelink_scope.hpp"
#include "module_function.hpp"
#include "module_imports.hpp"
#include "module_init.hpp"
#include "order_books.hpp"
#include "orders.hpp"
#include "quotes.hpp"
#include "safe_access.hpp"
#include "session.hpp"
#include "timed_bars.hpp"
#include "with_context.hpp"

namespace nb = nanobind;

namespace {

// The module's imports, in order; any failure fails the import of the module.
void import_dependencies(nb::module_ &m) {
    pyglue::import_module(m, "threading");
    pyglue::import_module(m, "time");
    pyglue::import_names(m, "datetime", {"datetime"});
    pyglue::import_names(m, "dataclasses", {"replace"});
    pyglue::import_names(m, "typing", {"Dict"});
    pyglue::import_module(m, "pytz");
    pyglue::import_module(m, "win32com.client");

    pyglue::import_names(m, "corvane.core.order", {"Order"});
    pyglue::import_names(m, "corvane.core.constants", {"Direction", "OrderType", "OrderStatus"});
    pyglue::import_names(m, "corvane.core.position", {"PositionData"});
    pyglue::import_names(m, "corvane.core.balance", {"AccountBalance"});
    pyglue::import_names(m, "corvane.core.data", {"Quote", "OrderBook", "Bar"});
    pyglue::import_names(m, "corvane.core.utility", {"safe_call"});
    pyglue::import_names(m, "corvane.gateways", {"BaseGateway"});

    pyglue::import_names(m, "corvane.gateways.cqg.wrapper.ComBridge",
                         {"CELSinkBase", "Trace", "AssertMessage"});
}

void define_constants(nb::module_ &m) {
    // Seconds every blocking request waits for CQG's answer.
    pyglue::write(m, "TIMEOUT", nb::int_(10));
    nb::object pytz = pyglue::read(m, "pytz");
    pyglue::write(m, "TIMEZONE", pyglue::call_method(pytz, "timezone", "Asia/Hong_Kong"));
    // What CQG reports for a bar field it has no value for: -2**31.
    pyglue::write(m, "INVALID_VALUE", nb::int_(-2147483648LL));
    // Serialises the balance and position refreshes.
    nb::object threading = pyglue::read(m, "threading");
    pyglue::write(m, "lock", pyglue::call_method(threading, "Lock"));
}

nb::object make_gatelink(nb::module_ &m, corvane::gatelink::SharedScope scope) {
    using namespace corvane::gatelink;
    using pyglue::with_context;
    using arg = nb::arg;

    nb::object base = pyglue::read(m, "CELSinkBase");
    pyglue::ClassBuilder cls(m, "GATELINK", nb::make_tuple(base), "CQG Integrated Client API");
    cls.holding(scope->globals());
    // GATELINK's methods, in the order the class defines them.
    cls.def("__init__", with_context(scope, &construct))
        .def("Init", with_context(scope, &bind_gateway), arg("gateway"))
        .def("Logon", with_context(scope, &logon), arg("user_name"), arg("password"))
        .def("Logoff", with_context(scope, &logoff))
        .def("get_instrument_from_cqg_symbol", with_context(scope, &get_instrument_from_cqg_symbol),
             arg("cqg_symbol"))
        .def("get_timedbars_from_cqg_symbol", with_context(scope, &get_timedbars_from_cqg_symbol),
             arg("cqg_symbol"))
        .def("get_ticks_from_cqg_symbol", with_context(scope, &get_ticks_from_cqg_symbol),
             arg("cqg_symbol"))
        .def("get_account_from_gwaccountid", with_context(scope, &get_account_from_gwaccountid),
             arg("GWAccountID"))
        .def("subscribe_quote", with_context(scope, &subscribe_quote), arg("cqg_symbol"))
        .def("unsubscribe_quote", with_context(scope, &unsubscribe_quote), arg("cqg_symbol"))
        .def("subscribe_orderbook", with_context(scope, &subscribe_orderbook), arg("cqg_symbol"))
        .def("unsubscribe_orderbook", with_context(scope, &unsubscribe_orderbook),
             arg("cqg_symbol"))
        .def("subscribe_bar", with_context(scope, &subscribe_bar), arg("cqg_symbol"),
             arg("lookback_period"), nb::arg("freq") = "1Min")
        .def("unsubscribe_bar", with_context(scope, &unsubscribe_bar), arg("cqg_symbol"))
        .def("subscribe_account_and_positions",
             with_context(scope, &subscribe_account_and_positions), arg("GWAccountID"))
        .def("unsubscribe_account_and_positions",
             with_context(scope, &unsubscribe_account_and_positions), arg("GWAccountID"))
        .def("update_account_balance", with_context(scope, &update_account_balance))
        .def("update_positions", with_context(scope, &update_positions))
        .def("get_subscribe_bars_data", with_context(scope, &get_subscribe_bars_data),
             arg("security"))
        .def("OnDataError", with_context(scope, &on_data_error), arg("cqgError"),
             arg("errorDescription"))
        .def("OnInstrumentResolved", with_context(scope, &on_instrument_resolved), arg("symbol"),
             arg("cqgInstrument"), arg("cqgError"))
        .def("OnInstrumentChanged", with_context(scope, &on_instrument_changed),
             arg("cqgInstrument"), arg("cqgQuotes"), arg("cqgInstrumentProperties"))
        .def("OnTicksResolved", with_context(scope, &on_ticks_resolved), arg("cqgTicks"),
             arg("cqgError"))
        .def("OnTicksAdded", with_context(scope, &on_ticks_added), arg("cqgTicks"),
             arg("addedTicksCount"))
        .def("OnTicksRemoved", with_context(scope, &on_ticks_removed), arg("cqgTicks"),
             arg("removedTickIndex"))
        .def("OnTimedBarsResolved", with_context(scope, &on_timed_bars_resolved),
             arg("cqgTimedBars"), arg("cqgError"))
        .def("OnTimedBarsAdded", with_context(scope, &on_timed_bars_added), arg("cqgTimedBars"))
        .def("OnTimedBarsUpdated", with_context(scope, &on_timed_bars_updated),
             arg("cqgTimedBars"), arg("index"))
        .def("OnTimedBarsRemoved", with_context(scope, &on_timed_bars_removed),
             arg("cqgTimedBars"), arg("index"))
        .def("dumpBar", with_context(scope, &dump_bar), arg("bar"), arg("index"))
        .def("place_order", with_context(scope, &place_order), arg("order"))
        .def("cancel_order", with_context(scope, &cancel_order), arg("orderid"))
        .def("OnAccountChanged", with_context(scope, &on_account_changed), arg("change"),
             arg("cqgAccount"), arg("cqgPosition"))
        .def("OnOrderChanged", with_context(scope, &on_order_changed), arg("changeType"),
             arg("cqgOrder"), arg("oldProperties"), arg("cqgFill"), arg("cqgError"))
        .def("OnGWConnectionStatusChanged", with_context(scope, &on_gw_connection_status_changed),
             arg("connectionStatus"))
        .def("OnDataConnectionStatusChanged",
             with_context(scope, &on_data_connection_status_changed), arg("newStatus"));

    // The one method the framework's safe_call wraps: its errors are reported, not raised.
    nb::object safe_call = pyglue::read(m, "safe_call");
    cls.decorate("unsubscribe_bar", safe_call);
    return cls.get();
}

} // namespace

PYGLUE_MODULE(gatelink, m) {
    import_dependencies(m);
    define_constants(m);
    auto scope = std::make_shared<const corvane::gatelink::Scope>(m);
    using pyglue::with_context;
    nb::handle globals = scope->globals();
    pyglue::def_function_holding(
        m, globals, "QuoteType2String",
        with_context(scope, &corvane::gatelink::quote_type_to_string), nb::arg("quoteType").none());
    pyglue::def_function_holding(
        m, globals, "TickType2String",
        with_context(scope, &corvane::gatelink::tick_type_to_string), nb::arg("tickType").none());
    pyglue::def_function_holding(
        m, globals, "convert_orderstatus_cqg2cv",
        with_context(scope, &corvane::gatelink::convert_orderstatus_cqg2cv),
        nb::arg("status").none());
    pyglue::write(m, "GATELINK", make_gatelink(m, scope));
}
