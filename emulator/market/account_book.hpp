// The accounts of the emulated trading gateway: each account's summary values and positions.
//
// Plain data, no Python: the emulated CQG objects read it, the control functions and the fills
// (fill_accounting) change it. Sides and subscription levels are kept as CQG's constant values.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cqgemu {

struct PositionState {
    std::string instrument; // CQG full name, e.g. "F.US.EPZ26"
    long quantity = 0;
    long side = 0; // osdBuy / osdSell, or any raw value a test sets
    double average_price = 0.0;
    double ote = 0.0;
    double profit_loss = 0.0;
};

struct AccountState {
    long id = 0;
    std::string name;
    std::map<std::string, std::vector<double>> summary; // "Balance" -> value by index
    std::vector<PositionState> positions;                // in the order they were opened
    bool auto_subscribe_instruments = false;
    long position_subscription_level = 0;
};

enum class PositionUpdate { Added, Changed };

class AccountBook {
public:
    AccountBook() = default;
    explicit AccountBook(std::vector<AccountState> accounts);

    // The six summary values an account has, in CQG's names.
    static const std::vector<std::string> &summary_names();
    static bool is_summary_name(const std::string &name);

    // A new account with every summary value present (Balance 100000, the rest 0, two indexes).
    static AccountState with_default_summary(long id, std::string name);

    const std::vector<AccountState> &accounts() const { return accounts_; }
    AccountState *find(long id);
    const PositionState *find_position(long account_id, const std::string &instrument) const;

    // Opens the position or replaces what it holds. Throws std::out_of_range for an unknown
    // account.
    PositionUpdate set_position(long account_id, const PositionState &position);

    // Sets one summary value, growing the list of indexes as needed. Throws std::out_of_range for
    // an unknown account, std::invalid_argument for an unknown name or a negative index.
    void set_summary(long account_id, const std::string &name, long index, double value);

private:
    AccountState &existing(long id);

    std::vector<AccountState> accounts_;
};

} // namespace cqgemu
