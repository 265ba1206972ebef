// What the gateway does when a CQGCEL asks: how it answers Startup(), the credentials it takes,
// and whether it answers logon, logoff and the accounts reload at all. Part of the scenario a
// test or the demo loads; a CQGCEL keeps the script in force when it was made.
#pragma once

#include <string>

namespace cqgemu {

enum class StartupAnswer { Started, DataError, DataErrorWithoutObject, NeverAnswered };

// Whether the gateway answers a request (logon, logoff, the accounts reload) at all.
enum class GatewayAnswer { Answered, Never };

struct GatewayScript {
    StartupAnswer startup = StartupAnswer::Started;
    long startup_error_code = 0;
    std::string startup_error_description;
    double startup_delay = 0.0; // emulated seconds before Startup() is answered
    std::string gw_user = "trader";
    std::string gw_password = "secret";
    GatewayAnswer logon = GatewayAnswer::Answered;
    GatewayAnswer logoff = GatewayAnswer::Answered;
    GatewayAnswer accounts_reload = GatewayAnswer::Answered;
};

} // namespace cqgemu
