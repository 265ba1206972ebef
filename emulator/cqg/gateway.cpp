#include "gateway.hpp"

#include "platform/com_errors.hpp"

#include <stdexcept>

namespace cqgemu {

namespace {

Gateway *connected = nullptr;

} // namespace

Gateway &gateway() {
    if (!connected)
        throw std::logic_error("no gateway is connected to the CQG objects");
    return *connected;
}

void connect_gateway(Gateway &gateway) { connected = &gateway; }

AccountState &account_state(long id, const char *type_name) {
    AccountState *account = gateway().accounts().find(id);
    if (!account)
        raise_server_error(type_name, "The account is no longer available",
                           hresult::DISP_E_EXCEPTION);
    return *account;
}

} // namespace cqgemu
