// CQGAccounts, the collection CQGCEL's `Accounts` gives, and CQGAccount, one trading account.
// The objects hold only the account's id: every read goes to the gateway's account book, so a
// change made there (by a test or by fills) shows at once.
#pragma once

#include "collection.hpp"
#include "cel_record.hpp"
#include "gateway.hpp"

#include <map>

namespace cqgemu {

class CqgAccountSummary;
class CqgPositions;
class CqgPosition;

// The account behind an account's object; the server's error once it is gone from the book.

class CqgAccount : public EmulatedObject {
public:
    CqgAccount(std::shared_ptr<ThreadQueue> home, long id, std::shared_ptr<CelRecord> record);

    const char *type_name() const override { return "CQGAccount"; }
    const MemberTable &members() const override;
    void disconnect() override;

    nb::object gw_account_id();
    nb::object gw_account_name();
    nb::object auto_subscribe_instruments();
    void set_auto_subscribe_instruments(nb::handle value);
    nb::object position_subscription_level();
    void set_position_subscription_level(nb::handle value);
    nb::object summary();
    nb::object positions();

    // The object of this account's position in `instrument`, made on first use.
    std::shared_ptr<CqgPosition> position(const std::string &instrument);

private:
    AccountState &state() { return account_state(id_, type_name()); }

    long id_;
    std::shared_ptr<CelRecord> record_;
    std::shared_ptr<CqgAccountSummary> summary_;
    std::shared_ptr<CqgPositions> positions_;
};

class CqgAccounts : public EmulatedCollection {
public:
    CqgAccounts(std::shared_ptr<ThreadQueue> home, std::shared_ptr<CelRecord> record);

    const char *type_name() const override { return "CQGAccounts"; }
    const MemberTable &members() const override;
    void disconnect() override;

    size_t count() override;
    std::shared_ptr<EmulatedObject> item_at(size_t index) override;
    std::shared_ptr<EmulatedObject> item_with_key(nb::handle key) override; // by GWAccountID

    // The object of account `id`, made on first use; null if the book has no such account.
    std::shared_ptr<CqgAccount> account(long id);

private:
    std::shared_ptr<CelRecord> record_;
    std::map<long, std::shared_ptr<CqgAccount>> by_id_;
};

} // namespace cqgemu
