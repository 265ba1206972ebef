#include "cqg_account.hpp"

#include "cqg_account_summary.hpp"
#include "cqg_positions.hpp"
#include "gateway.hpp"
#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"
#include "platform/interface.hpp"

namespace cqgemu {

CqgAccount::CqgAccount(std::shared_ptr<ThreadQueue> home, long id,
                       std::shared_ptr<CelRecord> record)
    : EmulatedObject(home), id_(id), record_(std::move(record)),
      summary_(make_emulated<CqgAccountSummary>(home, id)),
      positions_(make_emulated<CqgPositions>(home, id)) {}

const MemberTable &CqgAccount::members() const {
    using C = CqgAccount;
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<C>(t)
            .property("GWAccountID", &C::gw_account_id)
            .property("GWAccountName", &C::gw_account_name)
            .property("AutoSubscribeInstruments", &C::auto_subscribe_instruments,
                      &C::set_auto_subscribe_instruments)
            // CQG's own spelling.
            .property("PositionSubcriptionLevel", &C::position_subscription_level,
                      &C::set_position_subscription_level)
            .property("Summary", &C::summary)
            .property("Positions", &C::positions);
        return t;
    }();
    return table;
}

void CqgAccount::disconnect() {
    summary_->disconnect();
    positions_->disconnect();
    EmulatedObject::disconnect();
}

nb::object CqgAccount::gw_account_id() { return nb::int_(state().id); }

nb::object CqgAccount::gw_account_name() { return nb::str(state().name.c_str()); }

nb::object CqgAccount::auto_subscribe_instruments() {
    return nb::bool_(state().auto_subscribe_instruments);
}

void CqgAccount::set_auto_subscribe_instruments(nb::handle value) {
    bool flag = flag_value(value);
    state().auto_subscribe_instruments = flag;
    record_->note_property(type_name(), "AutoSubscribeInstruments", value);
}

nb::object CqgAccount::position_subscription_level() {
    return nb::int_(state().position_subscription_level);
}

void CqgAccount::set_position_subscription_level(nb::handle value) {
    long level = integer_value(value);
    if (!is_member("ePositionSubscriptionLevel", level))
        raise_server_error(type_name(), "Invalid position subscription level",
                           hresult::DISP_E_EXCEPTION);
    state().position_subscription_level = level;
    record_->note_property(type_name(), "PositionSubcriptionLevel", value);
}

nb::object CqgAccount::summary() {
    state();
    return interface_for_this_thread(summary_);
}

nb::object CqgAccount::positions() {
    state();
    return interface_for_this_thread(positions_);
}

std::shared_ptr<CqgPosition> CqgAccount::position(const std::string &instrument) {
    return positions_->position(instrument);
}

CqgAccounts::CqgAccounts(std::shared_ptr<ThreadQueue> home, std::shared_ptr<CelRecord> record)
    : EmulatedCollection(std::move(home)), record_(std::move(record)) {}

const MemberTable &CqgAccounts::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CqgAccounts> builder(t);
        add_members(builder, true);
        return t;
    }();
    return table;
}

void CqgAccounts::disconnect() {
    for (auto &[id, account] : by_id_)
        account->disconnect();
    EmulatedCollection::disconnect();
}

size_t CqgAccounts::count() { return gateway().accounts().accounts().size(); }

std::shared_ptr<EmulatedObject> CqgAccounts::item_at(size_t index) {
    return account(gateway().accounts().accounts().at(index).id);
}

std::shared_ptr<EmulatedObject> CqgAccounts::item_with_key(nb::handle key) {
    long id = 0;
    if (!PyLong_Check(key.ptr()) || !nb::try_cast<long>(key, id))
        raise_com_error(hresult::DISP_E_TYPEMISMATCH);
    return account(id);
}

std::shared_ptr<CqgAccount> CqgAccounts::account(long id) {
    if (!gateway().accounts().find(id))
        return nullptr;
    auto found = by_id_.find(id);
    if (found != by_id_.end())
        return found->second;
    auto made = make_emulated<CqgAccount>(home(), id, record_);
    by_id_.emplace(id, made);
    return made;
}

} // namespace cqgemu
