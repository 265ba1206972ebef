// What the emulated CQG world does: the scenario a test or the demo loads, and what the
// emulator records for inspection. One per process; touched only with the GIL held.
#pragma once

#include "emulated_clock.hpp"
#include "cqg/cel_record.hpp"
#include "cqg/gateway_script.hpp"
#include "market/account_book.hpp"
#include "market/market_state.hpp"
#include "market/matching_engine.hpp"
#include "market/order_faults.hpp"
#include "platform/platform_settings.hpp"

#include <nanobind/nanobind.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cqgemu {

namespace nb = nanobind;

class Cqgcel;

// The two accounts a scenario has unless it names its own.
std::vector<AccountState> default_accounts();

struct Scenario {
    GatewayScript gateway;      // what the gateway answers a CQGCEL
    bool fail_creation = false; // creating "CQG.CQGCEL.4" fails
    std::uint64_t seed = 0;
    std::vector<AccountState> accounts = default_accounts();
    MarketSettings market; // instruments, history, INVALID share; its seed is `seed`
    PlatformSettings platform; // handed to the platform when the scenario is loaded
};

struct World {
    Scenario scenario;
    std::weak_ptr<Cqgcel> current_cel;
    std::shared_ptr<CelRecord> last_record;
    bool type_library_loaded = false;
    EmulatedClock clock;
    AccountBook accounts{default_accounts()}; // the gateway's accounts, shared by every CQGCEL
    std::shared_ptr<MarketState> market = std::make_shared<MarketState>(); // likewise
    MatchingEngine orders;    // the gateway's order book, shared by every CQGCEL
    OrderFaults order_faults; // what a test made the next order or fill do
};

World &world();

// The CQGCEL made last, while it exists; RuntimeError otherwise.
std::shared_ptr<Cqgcel> current_cel();

// What the CQGCEL made last was asked to do; RuntimeError before any was made.
const CelRecord &last_record();

template <class T> nb::list as_list(const std::deque<T> &items) {
    nb::list list;
    for (const T &item : items)
        list.append(nb::cast(item));
    return list;
}

// Drops the Python objects the world holds (process exit).
void release_world();

} // namespace cqgemu
