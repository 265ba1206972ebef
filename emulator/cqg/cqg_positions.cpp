#include "cqg_positions.hpp"

#include "gateway.hpp"
#include "platform/com_errors.hpp"

namespace cqgemu {

CqgPosition::CqgPosition(std::shared_ptr<ThreadQueue> home, long account_id,
                         std::string instrument)
    : EmulatedObject(std::move(home)), account_id_(account_id),
      instrument_(std::move(instrument)) {}

const MemberTable &CqgPosition::members() const {
    using C = CqgPosition;
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<C>(t)
            .property("Quantity", &C::quantity)
            .property("InstrumentName", &C::instrument_name)
            .property("Side", &C::side)
            .property("AveragePrice", &C::average_price)
            .property("OTE", &C::ote)
            .property("ProfitLoss", &C::profit_loss);
        return t;
    }();
    return table;
}

const PositionState &CqgPosition::state() {
    account_state(account_id_, type_name());
    const PositionState *position = gateway().accounts().find_position(account_id_, instrument_);
    if (!position)
        raise_server_error(type_name(), "The position is no longer available",
                           hresult::DISP_E_EXCEPTION);
    return *position;
}

CqgPositions::CqgPositions(std::shared_ptr<ThreadQueue> home, long account_id)
    : EmulatedCollection(std::move(home)), account_id_(account_id) {}

const MemberTable &CqgPositions::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CqgPositions> builder(t);
        add_members(builder, false);
        return t;
    }();
    return table;
}

void CqgPositions::disconnect() {
    for (auto &[instrument, position] : by_instrument_)
        position->disconnect();
    EmulatedCollection::disconnect();
}

size_t CqgPositions::count() { return account_state(account_id_, type_name()).positions.size(); }

std::shared_ptr<EmulatedObject> CqgPositions::item_at(size_t index) {
    return position(account_state(account_id_, type_name()).positions.at(index).instrument);
}

std::shared_ptr<CqgPosition> CqgPositions::position(const std::string &instrument) {
    auto found = by_instrument_.find(instrument);
    if (found != by_instrument_.end())
        return found->second;
    auto made = make_emulated<CqgPosition>(home(), account_id_, instrument);
    by_instrument_.emplace(instrument, made);
    return made;
}

} // namespace cqgemu
