// CQGAccountSummary: an account's money figures, each an indexed property read with an integer
// index (`Balance(0)`), as the account book holds them.
#pragma once

#include "platform/emulated_object.hpp"

#include <string>

namespace cqgemu {

class CqgAccountSummary : public EmulatedObject {
public:
    CqgAccountSummary(std::shared_ptr<ThreadQueue> home, long account_id);

    const char *type_name() const override { return "CQGAccountSummary"; }
    const MemberTable &members() const override;

    nb::object balance(long index) { return value("Balance", index); }
    nb::object collaterals(long index) { return value("Collaterals", index); }
    nb::object nlv(long index) { return value("NLV", index); }
    nb::object maintenance_margin(long index) { return value("MaintenanceMargin", index); }
    nb::object profit_loss(long index) { return value("ProfitLoss", index); }
    nb::object upl(long index) { return value("UPL", index); }

private:
    nb::object value(const std::string &name, long index);

    long account_id_;
};

} // namespace cqgemu
