#include "account.hpp"

#include <string>

#include "com_platform.hpp"
#include "market_records.hpp"
#include "errors.hpp"
#include "python_lock.hpp"
#include "safe_access.hpp"
#include "truth.hpp"
#include "type_check.hpp"

namespace corvane::gatelink {

using pyglue::call_method;
using cqgglue::com_constant;
using pyglue::equals;
using pyglue::read;
using pyglue::write;

namespace {

void require_account_id(nb::handle GWAccountID) {
    pyglue::require_exact_type(GWAccountID, &PyLong_Type, "GWAccountID");
}

[[noreturn]] void raise_account_not_found(nb::handle GWAccountID) {
    pyglue::raise_value_error(nb::str("GWAccountID {} can not be found!").format(GWAccountID));
}

// self.get_account_from_gwaccountid(...) through the object, so a subclass's override
// is the one used.
nb::object find_account(nb::handle self, nb::handle GWAccountID) {
    nb::object lookup = read(self, "get_account_from_gwaccountid");
    return lookup(nb::arg("GWAccountID") = GWAccountID);
}

// The text after the last "." of the position's instrument name.
nb::object symbol_of_instrument(nb::handle instrument_name) {
    return cqg_symbol_of_name(instrument_name, "InstrumentName");
}

nb::object direction_of_side(ScopeRef scope, nb::handle side) {
    nb::object Direction = scope.global("Direction");
    if (equals(side, com_constant("osdBuy")))
        return read(Direction, "LONG");
    if (equals(side, com_constant("osdSell")))
        return read(Direction, "SHORT");
    pyglue::raise_value_error(nb::str("Return CQG Position Side {} is invalid!").format(side));
}

void trace_position_event(ScopeRef scope, const char *format, nb::handle cqgAccount,
                          nb::handle cqgPosition) {
    nb::object account = cqgglue::dispatch(cqgAccount);
    nb::object position = cqgglue::dispatch(cqgPosition);
    nb::object name = read(account, "GWAccountName");
    nb::object instrument = read(position, "InstrumentName");
    nb::object average_price = read(position, "AveragePrice");
    nb::object quantity = read(position, "Quantity");
    nb::object ote = read(position, "OTE");
    nb::object pl = read(position, "ProfitLoss");
    scope.trace(nb::str(format).format(name, instrument, average_price, quantity, ote, pl));
}

// The balance of Python's `with lock: try: ... except Exception as e: print(...)`: the body
// of the try.
void rebuild_balance(ScopeRef scope, nb::handle self) {
    nb::object followed = read(self, "GWAccountID");
    nb::object cqg_account = find_account(self, followed);

    nb::object AccountBalance = scope.global("AccountBalance");
    nb::object balance = AccountBalance();
    write(self, "account_balance", balance);

    // The summary is read afresh for every value; the indexes are CQG's (1, not 0, for
    // collaterals and maintenance margin).
    auto summary_value = [&](const char *name, int index) {
        nb::object summary = read(cqg_account, "Summary");
        return call_method(summary, name, index);
    };
    nb::object cash = summary_value("Balance", 0);
    nb::object collaterals = summary_value("Collaterals", 1);
    nb::object avail_cash = cash - collaterals;
    nb::object net_cash = summary_value("NLV", 0);
    nb::object maintenance_margin = summary_value("MaintenanceMargin", 1);
    nb::object realized_pnl = summary_value("ProfitLoss", 0);
    nb::object unrealized_pnl = summary_value("UPL", 0);

    write(balance, "cash", cash);
    write(balance, "cash_by_currency", nb::none());
    write(balance, "available_cash", avail_cash);
    write(balance, "max_power_short", nb::none());
    write(balance, "net_cash_power", net_cash);
    write(balance, "maintenance_margin", maintenance_margin);
    write(balance, "realized_pnl", realized_pnl);
    write(balance, "unrealized_pnl", unrealized_pnl);
}

} // namespace

void subscribe_account_and_positions(ScopeRef scope, nb::handle self, nb::handle GWAccountID) {
    require_account_id(GWAccountID);

    // Dropping the subscription first makes raising it again reload the accounts.
    nb::object cqgCEL = Scope::cqg_cel(self);
    write(cqgCEL, "AccountSubscriptionLevel", com_constant("aslNone"));
    call_method(scope.global("time"), "sleep", 2);
    write(cqgCEL, "AccountSubscriptionLevel", com_constant("aslAccountUpdatesAndOrders"));
    scope.trace("Waiting for accounts coming...");
    nb::object ready = read(self, "eventAccountIsReady");
    scope.wait_or_fail(ready, "Accounts coming timeout!");

    scope.trace(nb::str("Select account {}, subscribe to open positions.").format(GWAccountID));
    nb::object account = find_account(self, GWAccountID);
    if (account.is_none())
        raise_account_not_found(GWAccountID);
    // Recorded only once found: an unknown id must not replace the account followed so far.
    write(self, "GWAccountID", GWAccountID);

    write(account, "AutoSubscribeInstruments", nb::bool_(true));
    write(account, "PositionSubcriptionLevel", com_constant("pslSnapshotAndUpdates"));
    call_method(self, "update_account_balance");
    call_method(self, "update_positions");
}

void unsubscribe_account_and_positions(ScopeRef scope, nb::handle self,
                                       nb::handle GWAccountID) {
    require_account_id(GWAccountID);

    nb::object cqgCEL = Scope::cqg_cel(self);
    write(cqgCEL, "AccountSubscriptionLevel", com_constant("aslNone"));
    nb::object account = find_account(self, GWAccountID);
    if (account.is_none())
        raise_account_not_found(GWAccountID);
    write(account, "AutoSubscribeInstruments", nb::bool_(false));
    write(account, "PositionSubcriptionLevel", com_constant("pslNoPositions"));
    scope.trace(nb::str("Unsubscribe account {}.").format(GWAccountID));
}

// Every account visited is traced; the match is returned as the collection gave it.
nb::object get_account_from_gwaccountid(ScopeRef scope, nb::handle self, nb::handle GWAccountID) {
    require_account_id(GWAccountID);

    nb::object listed = read(Scope::cqg_cel(self), "Accounts");
    nb::object accounts = cqgglue::dispatch(listed);
    for (nb::handle item : accounts) {
        nb::object account = nb::borrow(item);
        nb::object id = read(account, "GWAccountID");
        nb::object name = read(account, "GWAccountName");
        scope.trace(nb::str("GW Account id: {} name: {}").format(id, name));
        if (equals(id, GWAccountID)) {
            scope.trace(nb::str("[Found] GW Account id: {} name: {}").format(id, name));
            return account;
        }
    }
    return nb::none();
}

// Any Exception is printed as "<now>: <error>" and the method returns normally; a failure
// before the new record is made keeps the previous one.
void update_account_balance(ScopeRef scope, nb::handle self) {
    nb::object lock = scope.global("lock");
    pyglue::PythonLockHold hold(lock);
    try {
        rebuild_balance(scope, self);
    } catch (nb::python_error &error) {
        if (!error.matches(PyExc_Exception))
            throw;
        nb::object exception = pyglue::take_exception(error);
        nb::object now = call_method(scope.global("datetime"), "now");
        nb::object print = scope.global("print");
        print(nb::str("{}: {}").format(now, exception));
    }
}

// Errors propagate; positions then keeps the records appended before the failure.
void update_positions(ScopeRef scope, nb::handle self) {
    nb::object lock = scope.global("lock");
    pyglue::PythonLockHold hold(lock);

    nb::list positions;
    write(self, "positions", positions);
    nb::object followed = read(self, "GWAccountID");
    nb::object cqg_account = find_account(self, followed);

    nb::object count = read(read(cqg_account, "Positions"), "Count");
    Py_ssize_t num_pos = PyNumber_AsSsize_t(count.ptr(), PyExc_OverflowError);
    if (num_pos == -1 && PyErr_Occurred())
        throw nb::python_error();
    for (Py_ssize_t n = 0; n < num_pos; ++n) {
        nb::object cqg_pos = call_method(read(cqg_account, "Positions"), "ItemByIndex", n);
        nb::object quantity = read(cqg_pos, "Quantity");
        if (!pyglue::is_true(quantity))
            continue;
        nb::object cqg_symbol = symbol_of_instrument(read(cqg_pos, "InstrumentName"));
        nb::object gateway = read(self, "gateway");
        nb::object security = call_method(gateway, "get_cv_security_from_cqg_symbol", cqg_symbol);
        if (security.is_none())
            continue;
        nb::object direction = direction_of_side(scope, read(cqg_pos, "Side"));
        nb::object holding_price = read(cqg_pos, "AveragePrice");
        nb::object size = nb::steal(PyNumber_Absolute(quantity.ptr()));
        if (!size.is_valid())
            throw nb::python_error();
        nb::object now = call_method(scope.global("datetime"), "now");

        nb::object PositionData = scope.global("PositionData");
        nb::object record = PositionData(nb::arg("security") = security,
                                         nb::arg("direction") = direction,
                                         nb::arg("holding_price") = holding_price,
                                         nb::arg("quantity") = size,
                                         nb::arg("update_time") = now);
        positions.append(record);
    }
}

// Position events only log; the reload releases a waiting subscription.
void on_account_changed(ScopeRef scope, nb::handle self, nb::handle change,
                        nb::handle cqgAccount, nb::handle cqgPosition) {
    if (equals(change, com_constant("actPositionAdded")))
        trace_position_event(scope,
                             "OnAccountChanged - open position is added for {} account - "
                             "instrument: {} average price: {} quantity: {} OTE: {} PL: {}",
                             cqgAccount, cqgPosition);
    if (equals(change, com_constant("actPositionChanged")))
        trace_position_event(scope,
                             "OnAccountChanged - open position is changed for {} account - "
                             "instrument: {} average price: {} quantity: {} OTE: {} PL: {}",
                             cqgAccount, cqgPosition);
    if (equals(change, com_constant("actAccountsReloaded"))) {
        scope.trace("OnAccountChanged - Accounts are ready!");
        call_method(read(self, "eventAccountIsReady"), "set");
    }
}

} // namespace corvane::gatelink
