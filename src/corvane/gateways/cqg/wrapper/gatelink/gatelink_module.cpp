// The gateway link module: GATELINK, the one object through which the framework's CQG
// gateway talks to CQGCEL. Each concern (session, account; later quotes, bars, order
// books, orders) is a file of plain functions; this file lays out the module and holds the
// one ordered table of GATELINK's methods.
#include <nanobind/nanobind.h>

#include <memory>

#include "account.hpp"
#include "class_builder.hpp"
#include "gatelink_scope.hpp"
#include "module_imports.hpp"
#include "module_init.hpp"
#include "orders.hpp"
#include "session.hpp"
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
    m.attr("TIMEOUT") = nb::int_(10);
    nb::object pytz = m.attr("pytz");
    m.attr("TIMEZONE") = pytz.attr("timezone")("Asia/Hong_Kong");
    // What CQG reports for a bar field it has no value for: -2**31.
    m.attr("INVALID_VALUE") = nb::int_(-2147483648LL);
    // Serialises the balance and position refreshes.
    nb::object threading = m.attr("threading");
    m.attr("lock") = threading.attr("Lock")();
}

nb::object make_gatelink(nb::module_ &m, gatelink::SharedScope scope) {
    using namespace gatelink;
    using pyglue::with_context;
    auto arg = [](const char *name) { return nb::arg(name); };

    nb::object base = m.attr("CELSinkBase");
    pyglue::ClassBuilder cls(m, "GATELINK", nb::make_tuple(base), "CQG Integrated Client API");
    // GATELINK's methods, in the order the class defines them.
    cls.def("__init__", with_context(scope, &construct))
        .def("Init", with_context(scope, &bind_gateway), arg("gateway"))
        .def("Logon", with_context(scope, &logon), arg("user_name"), arg("password"))
        .def("Logoff", with_context(scope, &logoff))
        // get_instrument_from_cqg_symbol(cqg_symbol)                      instruments, quotes
        // get_timedbars_from_cqg_symbol(cqg_symbol)                       timed bars
        // get_ticks_from_cqg_symbol(cqg_symbol)                           order books
        .def("get_account_from_gwaccountid", with_context(scope, &get_account_from_gwaccountid),
             arg("GWAccountID"))
        // subscribe_quote(cqg_symbol), unsubscribe_quote(cqg_symbol)      instruments, quotes
        // subscribe_orderbook(cqg_symbol), unsubscribe_orderbook(cqg_symbol)   order books
        // subscribe_bar(cqg_symbol, lookback_period, freq), unsubscribe_bar(cqg_symbol)
        .def("subscribe_account_and_positions",
             with_context(scope, &subscribe_account_and_positions), arg("GWAccountID"))
        .def("unsubscribe_account_and_positions",
             with_context(scope, &unsubscribe_account_and_positions), arg("GWAccountID"))
        .def("update_account_balance", with_context(scope, &update_account_balance))
        .def("update_positions", with_context(scope, &update_positions))
        // get_subscribe_bars_data(security)                               timed bars
        .def("OnDataError", with_context(scope, &on_data_error), arg("cqgError"),
             arg("errorDescription"))
        // OnInstrumentResolved(symbol, cqgInstrument, cqgError)           instruments, quotes
        // OnInstrumentChanged(cqgInstrument, cqgQuotes, cqgInstrumentProperties)
        // OnTicksResolved(cqgTicks, cqgError)                             order books
        // OnTicksAdded(cqgTicks, addedTicksCount)
        // OnTicksRemoved(cqgTicks, removedTickIndex)
        // OnTimedBarsResolved(cqgTimedBars, cqgError)                     timed bars
        // OnTimedBarsAdded(cqgTimedBars)
        // OnTimedBarsUpdated(cqgTimedBars, index)
        // OnTimedBarsRemoved(cqgTimedBars, index)
        // dumpBar(bar, index)
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
    return cls.get();
}

} // namespace

PYGLUE_MODULE(gatelink, m) {
    import_dependencies(m);
    define_constants(m);
    // QuoteType2String(quoteType)                                         instruments, quotes
    // TickType2String(tickType)                                           order books
    auto scope = std::make_shared<const gatelink::Scope>(m);
    m.def("convert_orderstatus_cqg2cv",
          pyglue::with_context(scope, &gatelink::convert_orderstatus_cqg2cv),
          nb::arg("status").none());
    m.attr("GATELINK") = make_gatelink(m, scope);
}
