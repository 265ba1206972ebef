// CQGCEL's trading-gateway session: GWLogon / GWLogoff, each answered by a connection status
// event unless the gateway's script says it never answers, and a rejected logon answered by a
// data error instead.
#include "cqgcel.hpp"
#include "platform/variant.hpp"

#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"

#include <nanobind/stl/string.h>

namespace cqgemu {

namespace {

constexpr long LOGON_REJECTED_CODE = 1;
const char *const LOGON_REJECTED_TEXT = "GW logon failed: invalid user name or password";

// A BSTR argument: text, or a number the platform turns into text.
std::string text_argument(nb::handle value) {
    if (PyUnicode_Check(value.ptr()))
        return bstr_text(value);
    if ((PyLong_Check(value.ptr()) && !PyBool_Check(value.ptr())) || PyFloat_Check(value.ptr()))
        return nb::cast<std::string>(nb::str(value));
    raise_com_error(hresult::DISP_E_TYPEMISMATCH);
}

} // namespace

nb::object Cqgcel::gw_logon(nb::tuple args) {
    require_argument_count(args, 2);
    std::string user = text_argument(args[0]);
    std::string password = text_argument(args[1]);
    record_call("GWLogon", args);
    if (script_.logon == GatewayAnswer::Never)
        return nb::none();
    if (user != script_.gw_user || password != script_.gw_password)
        fire_data_error(LOGON_REJECTED_CODE, LOGON_REJECTED_TEXT);
    else
        report_gateway_connection(true);
    return nb::none();
}

nb::object Cqgcel::gw_logoff(nb::tuple args) {
    require_argument_count(args, 0);
    record_call("GWLogoff", args);
    if (script_.logoff == GatewayAnswer::Answered)
        report_gateway_connection(false);
    return nb::none();
}

void Cqgcel::report_gateway_connection(bool up) {
    long status = *cqg_constant(up ? "csConnectionUp" : "csConnectionDown");
    fire("GWConnectionStatusChanged", nb::make_tuple(status));
}

} // namespace cqgemu
