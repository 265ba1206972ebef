#include "session.hpp"

#include "com_platform.hpp"
#include "safe_access.hpp"
#include "type_check.hpp"

namespace corvane::gatelink {

using pyglue::call_method;
using pyglue::read;
using pyglue::write;

// Runs wherever the bridge subscribes the sink (its own thread), without arguments; it
// creates exactly these attributes, in this order, and touches neither CQGCEL nor a base.
void construct(ScopeRef scope, nb::handle self) {
    nb::object threading = scope.global("threading");
    nb::object Event = read(threading, "Event");
    for (const char *event : {"eventGatewayIsUp", "eventGatewayIsDown", "eventAccountIsReady",
                              "eventOrderPlaced", "eventQuoteDone", "eventOrderbookDone",
                              "eventBarDone"}) {
        nb::object fresh = Event();
        write(self, event, fresh);
    }
    write(self, "subscribe_bars_data", nb::dict());
    nb::object AccountBalance = scope.global("AccountBalance");
    write(self, "account_balance", AccountBalance());
    write(self, "positions", nb::list());
    write(self, "order_id", nb::none());
}

// Every request reaches CQGCEL as self.comBridge.cqgCEL, so this runs first.
void bind_gateway(ScopeRef, nb::handle self, nb::handle gateway) {
    nb::object comBridge = read(gateway, "comBridge");
    write(self, "comBridge", comBridge);
    write(self, "gateway", gateway);
}

// The up event is never cleared: a second logon returns as soon as GWLogon does.
void logon(ScopeRef scope, nb::handle self, nb::handle user_name, nb::handle password) {
    pyglue::require_exact_type(user_name, &PyUnicode_Type, "user_name");
    pyglue::require_exact_type(password, &PyUnicode_Type, "password");

    scope.trace("Connecting to GW");
    call_method(Scope::cqg_cel(self), "GWLogon", user_name, password);
    scope.trace("Waiting for GW connection...");
    nb::object up = read(self, "eventGatewayIsUp");
    scope.wait_or_fail(up, "GW connection timeout!");
}

// The down event is cleared before GWLogoff, so a "down" reported earlier does not count.
// A logoff before any account was followed (a start that failed on the way) still logs off.
void logoff(ScopeRef scope, nb::handle self) {
    scope.trace("Logoff from GW");
    nb::object followed = nb::steal(PyObject_GetAttrString(self.ptr(), "GWAccountID"));
    if (!followed.is_valid()) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError))
            throw nb::python_error();
        PyErr_Clear(); // no account followed yet
    }
    nb::object account = nb::none();
    if (followed.is_valid()) {
        nb::object lookup = read(self, "get_account_from_gwaccountid");
        account = lookup(nb::arg("GWAccountID") = followed);
    }

    nb::object down = read(self, "eventGatewayIsDown");
    call_method(down, "clear");
    call_method(Scope::cqg_cel(self), "GWLogoff");
    scope.wait_or_fail(down, "GW disconnection timeout!");

    // The logoff has succeeded; an account CQGCEL no longer lists is named by its id
    // rather than turning that success into an error, and no account is named when none
    // was followed.
    if (!followed.is_valid()) {
        scope.trace("Successfully logoff");
        return;
    }
    nb::object name = account.is_none() ? followed : read(account, "GWAccountName");
    scope.trace(nb::str("Successfully logoff account {}").format(name));
}

void on_data_error(ScopeRef scope, nb::handle, nb::handle cqgError, nb::handle) {
    if (cqgError.is_none())
        return;
    nb::object error = cqgglue::dispatch(cqgError);
    nb::object code = read(error, "Code");
    nb::object description = read(error, "Description");
    scope.trace(nb::str("OnDataError: Code: {} Description: {}").format(code, description));
}

// Two independent tests; any other status changes nothing.
void on_gw_connection_status_changed(ScopeRef scope, nb::handle self,
                                     nb::handle connectionStatus) {
    if (pyglue::equals(connectionStatus, cqgglue::com_constant("csConnectionUp"))) {
        scope.trace("GW connection is UP!");
        call_method(read(self, "eventGatewayIsUp"), "set");
    }
    if (pyglue::equals(connectionStatus, cqgglue::com_constant("csConnectionDown"))) {
        scope.trace("GW connection is DOWN!");
        call_method(read(self, "eventGatewayIsDown"), "set");
    }
}

// Printed, not traced; the data connection's state is not kept.
void on_data_connection_status_changed(ScopeRef scope, nb::handle, nb::handle newStatus) {
    nb::object print = scope.global("print");
    print(nb::str("DataConnectionStatus={}").format(newStatus));
}

} // namespace corvane::gatelink
