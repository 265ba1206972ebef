#include "cqg_account_summary.hpp"

#include "gateway.hpp"
#include "platform/com_errors.hpp"

namespace cqgemu {

CqgAccountSummary::CqgAccountSummary(std::shared_ptr<ThreadQueue> home, long account_id)
    : EmulatedObject(std::move(home)), account_id_(account_id) {}

const MemberTable &CqgAccountSummary::members() const {
    using C = CqgAccountSummary;
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<C>(t)
            .indexed_property("Balance", &C::balance)
            .indexed_property("Collaterals", &C::collaterals)
            .indexed_property("NLV", &C::nlv)
            .indexed_property("MaintenanceMargin", &C::maintenance_margin)
            .indexed_property("ProfitLoss", &C::profit_loss)
            .indexed_property("UPL", &C::upl);
        return t;
    }();
    return table;
}

nb::object CqgAccountSummary::value(const std::string &name, long index) {
    const AccountState &account = account_state(account_id_, type_name());
    auto found = account.summary.find(name);
    if (found == account.summary.end() || index < 0 ||
        static_cast<size_t>(index) >= found->second.size())
        raise_com_error(hresult::DISP_E_BADINDEX);
    return nb::float_(found->second[static_cast<size_t>(index)]);
}

} // namespace cqgemu
