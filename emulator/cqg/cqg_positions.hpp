// CQGPositions, an account's open positions in the order they were opened, and CQGPosition, one
// of them. A position object holds its account and instrument and reads the book on every read.
#pragma once

#include "collection.hpp"
#include "market/account_book.hpp"

#include <map>
#include <string>

namespace cqgemu {

class CqgPosition : public EmulatedObject {
public:
    CqgPosition(std::shared_ptr<ThreadQueue> home, long account_id, std::string instrument);

    const char *type_name() const override { return "CQGPosition"; }
    const MemberTable &members() const override;

    nb::object quantity() { return nb::int_(state().quantity); }
    nb::object instrument_name() { return nb::str(instrument_.c_str()); }
    nb::object side() { return nb::int_(state().side); }
    nb::object average_price() { return nb::float_(state().average_price); }
    nb::object ote() { return nb::float_(state().ote); }
    nb::object profit_loss() { return nb::float_(state().profit_loss); }

private:
    const PositionState &state();

    long account_id_;
    std::string instrument_;
};

class CqgPositions : public EmulatedCollection {
public:
    CqgPositions(std::shared_ptr<ThreadQueue> home, long account_id);

    const char *type_name() const override { return "CQGPositions"; }
    const MemberTable &members() const override;
    void disconnect() override;

    size_t count() override;
    std::shared_ptr<EmulatedObject> item_at(size_t index) override;

    // The object of the position in `instrument`, made on first use.
    std::shared_ptr<CqgPosition> position(const std::string &instrument);

private:
    long account_id_;
    std::map<std::string, std::shared_ptr<CqgPosition>> by_instrument_;
};

} // namespace cqgemu
