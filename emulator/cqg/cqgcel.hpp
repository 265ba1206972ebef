// CQGCEL: the object "CQG.CQGCEL.4" creates, from which every other CQG object comes. Start-up
// and shut-down are here; the gateway session, the accounts, the market requests and the orders
// are in cqgcel_session.cpp, cqgcel_accounts.cpp, cqgcel_market.cpp and cqgcel_orders.cpp.
#pragma once

#include "cqg_object_list.hpp"
#include "platform/event_source.hpp"
#include "cel_record.hpp"
#include "gateway_script.hpp"
#include "market/account_book.hpp"

namespace cqgemu {

class ApiConfiguration;
class CqgAccounts;
class CqgInstrument;
class CqgOrder;
class CqgOrders;
class CqgTicks;
class CqgTimedBars;

class Cqgcel : public EventSource {
public:
    Cqgcel(std::shared_ptr<ThreadQueue> home, GatewayScript script,
           std::shared_ptr<CelRecord> record);

    const char *type_name() const override { return "CQG.CQGCEL.4"; }
    const MemberTable &members() const override;
    void disconnect() override;

    nb::object api_configuration();
    nb::object startup(nb::tuple args);
    nb::object shutdown(nb::tuple args);

    // The gateway session.
    nb::object gw_logon(nb::tuple args);
    nb::object gw_logoff(nb::tuple args);
    // Tells the sinks the gateway connection went down or came back.
    void report_gateway_connection(bool up);
    // A DataError event carrying an error object.
    void fire_data_error(long code, const std::string &description);

    // Accounts and positions.
    nb::object account_subscription_level();
    void set_account_subscription_level(nb::handle value);
    nb::object accounts();
    // Tells the sinks a position of `account_id` was opened or changed.
    void report_position(long account_id, const std::string &instrument, PositionUpdate update);
    // Adds that event to `batch`; nothing for an account this CQGCEL does not list.
    void add_position_event(long account_id, const std::string &instrument,
                            PositionUpdate update, EventBatch &batch);

    // Orders: CreateOrder checks its arguments as the server does and makes an order that
    // Place() puts in the gateway's book; `Orders` lists every order of the book.
    nb::object create_order(nb::tuple args);
    nb::object orders();
    // The order object `Orders` gives for its GUID from now on.
    void adopt_order(const std::shared_ptr<CqgOrder> &order);
    // The object `Orders` gives for `guid`.
    std::shared_ptr<CqgOrder> order_object(const std::string &guid);

    // Instruments and their quotes, tick requests, timed-bar requests. Each request is answered
    // by its resolution event unless a test set a fault on it.
    nb::object new_instrument(nb::tuple args);
    nb::object remove_instrument(nb::tuple args);
    nb::object instruments();
    nb::object create_ticks_request(nb::tuple args);
    nb::object request_ticks(nb::tuple args);
    nb::object remove_ticks(nb::tuple args);
    nb::object all_ticks();
    nb::object create_timed_bars_request(nb::tuple args);
    nb::object request_timed_bars(nb::tuple args);
    nb::object remove_timed_bars(nb::tuple args);
    nb::object all_timed_bars();

    const std::vector<std::shared_ptr<CqgInstrument>> &resolved_instruments() const {
        return instruments_->items();
    }
    const std::vector<std::shared_ptr<CqgTicks>> &ticks_subscriptions() const {
        return all_ticks_->items();
    }
    const std::vector<std::shared_ptr<CqgTimedBars>> &timed_bars_subscriptions() const {
        return all_timed_bars_->items();
    }

    const std::shared_ptr<CelRecord> &record() const { return record_; }

private:
    void answer_startup();
    void disconnect_orders(); // beside the other order members (cqgcel_orders.cpp)
    void record_call(const char *name, nb::tuple args = nb::tuple());

    GatewayScript script_;
    std::shared_ptr<CelRecord> record_;
    std::shared_ptr<ApiConfiguration> configuration_;
    std::shared_ptr<CqgAccounts> accounts_;
    long account_subscription_level_;
    std::shared_ptr<CqgObjectList<CqgInstrument>> instruments_;
    std::shared_ptr<CqgObjectList<CqgTicks>> all_ticks_;
    std::shared_ptr<CqgObjectList<CqgTimedBars>> all_timed_bars_;
    std::shared_ptr<CqgOrders> orders_; // made on first use: it needs this object's pointer
};

} // namespace cqgemu
