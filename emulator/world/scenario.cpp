#include "scenario.hpp"

#include <stdexcept>

namespace cqgemu {

World &world() {
    // Never destroyed: its Python objects are dropped by release_world() while Python runs.
    static auto *the_world = new World;
    return *the_world;
}

std::shared_ptr<Cqgcel> current_cel() {
    auto cel = world().current_cel.lock();
    if (!cel)
        throw std::runtime_error("no CQGCEL object exists");
    return cel;
}

const CelRecord &last_record() {
    if (!world().last_record)
        throw std::runtime_error("no CQGCEL object has been created");
    return *world().last_record;
}

std::vector<AccountState> default_accounts() {
    return {AccountBook::with_default_summary(1001, "SIM-1001"),
            AccountBook::with_default_summary(1002, "SIM-1002")};
}

void release_world() {
    world().clock.reset();
    world().market = std::make_shared<MarketState>();
    world().last_record.reset();
    world().current_cel.reset();
}

} // namespace cqgemu
