// CQGCEL's account side: the account subscription level, whose raising to updates and orders
// reloads the accounts, the account collection, and the position events.
#include "cqgcel.hpp"

#include "cqg_account.hpp"
#include "cqg_positions.hpp"
#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"
#include "platform/interface.hpp"

namespace cqgemu {

nb::object Cqgcel::account_subscription_level() { return nb::int_(account_subscription_level_); }

void Cqgcel::set_account_subscription_level(nb::handle value) {
    long level = integer_value(value);
    if (!is_member("eAccountSubscriptionLevel", level))
        raise_server_error(type_name(), "Invalid account subscription level",
                           hresult::DISP_E_EXCEPTION);
    record_->note_property(type_name(), "AccountSubscriptionLevel", value);
    long updates_and_orders = *cqg_constant("aslAccountUpdatesAndOrders");
    bool raised = level == updates_and_orders && account_subscription_level_ != level;
    account_subscription_level_ = level;
    if (raised && script_.accounts_reload == GatewayAnswer::Answered)
        fire("AccountChanged",
             nb::make_tuple(*cqg_constant("actAccountsReloaded"), nb::none(), nb::none()));
}

nb::object Cqgcel::accounts() { return interface_for_this_thread(accounts_); }

void Cqgcel::report_position(long account_id, const std::string &instrument,
                             PositionUpdate update) {
    EventBatch batch;
    add_position_event(account_id, instrument, update, batch);
    fire(batch);
}

void Cqgcel::add_position_event(long account_id, const std::string &instrument,
                                PositionUpdate update, EventBatch &batch) {
    std::shared_ptr<CqgAccount> account = accounts_->account(account_id);
    if (!account)
        return;
    long change = *cqg_constant(update == PositionUpdate::Added ? "actPositionAdded"
                                                                : "actPositionChanged");
    batch.add("AccountChanged",
              nb::make_tuple(change, interface_for_this_thread(account),
                             interface_for_this_thread(account->position(instrument))));
}

} // namespace cqgemu
