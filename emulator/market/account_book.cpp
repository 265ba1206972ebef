#include "account_book.hpp"

#include "cqg_constants.hpp"

#include <algorithm>
#include <stdexcept>

namespace cqgemu {

AccountBook::AccountBook(std::vector<AccountState> accounts) : accounts_(std::move(accounts)) {}

const std::vector<std::string> &AccountBook::summary_names() {
    static const std::vector<std::string> names = {"Balance",           "Collaterals", "NLV",
                                                   "MaintenanceMargin", "ProfitLoss",  "UPL"};
    return names;
}

bool AccountBook::is_summary_name(const std::string &name) {
    const auto &names = summary_names();
    return std::find(names.begin(), names.end(), name) != names.end();
}

AccountState AccountBook::with_default_summary(long id, std::string name) {
    AccountState account;
    account.id = id;
    account.name = std::move(name);
    for (const std::string &summary : summary_names())
        account.summary[summary] = {0.0, 0.0};
    account.summary["Balance"] = {100000.0, 100000.0};
    account.summary["NLV"] = {100000.0, 100000.0};
    account.position_subscription_level = *cqg_constant("pslNoPositions");
    return account;
}

AccountState *AccountBook::find(long id) {
    for (AccountState &account : accounts_)
        if (account.id == id)
            return &account;
    return nullptr;
}

const PositionState *AccountBook::find_position(long account_id,
                                                const std::string &instrument) const {
    for (const AccountState &account : accounts_)
        if (account.id == account_id)
            for (const PositionState &position : account.positions)
                if (position.instrument == instrument)
                    return &position;
    return nullptr;
}

AccountState &AccountBook::existing(long id) {
    AccountState *account = find(id);
    if (!account)
        throw std::out_of_range("no account with GWAccountID " + std::to_string(id));
    return *account;
}

PositionUpdate AccountBook::set_position(long account_id, const PositionState &position) {
    AccountState &account = existing(account_id);
    for (PositionState &held : account.positions)
        if (held.instrument == position.instrument) {
            held = position;
            return PositionUpdate::Changed;
        }
    account.positions.push_back(position);
    return PositionUpdate::Added;
}

void AccountBook::set_summary(long account_id, const std::string &name, long index, double value) {
    if (!is_summary_name(name))
        throw std::invalid_argument("no summary value named '" + name + "'");
    if (index < 0)
        throw std::invalid_argument("a summary index is not negative");
    std::vector<double> &values = existing(account_id).summary[name];
    if (values.size() <= static_cast<size_t>(index))
        values.resize(static_cast<size_t>(index) + 1, 0.0);
    values[static_cast<size_t>(index)] = value;
}

} // namespace cqgemu
