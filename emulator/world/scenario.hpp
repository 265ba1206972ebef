// What the emulated CQG world does: the scenario a test or the demo loads, and what the
// emulator records for inspection. One per process; touched only with the GIL held.
#pragma once

#include "emulated_clock.hpp"
#include "market/account_book.hpp"
#include "market/market_state.hpp"
#include "market/matching_engine.hpp"
#include "market/order_faults.hpp"

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

enum class StartupAnswer { Started, DataError, DataErrorWithoutObject, NeverAnswered };

// Whether the gateway answers a request (logon, logoff, the accounts reload) at all.
enum class GatewayAnswer { Answered, Never };

// The two accounts a scenario has unless it names its own.
std::vector<AccountState> default_accounts();

// Queued: an event waits in the subscriber's queue for its pump. Nested: an event fired on the
// subscriber's own thread runs its handlers at once, inside the call that caused it, and a
// thread waiting on an outgoing call runs what reaches its queue meanwhile.
enum class EventDelivery { Queued, Nested };

// What win32com.client.Dispatch hands out for a CQG object. Generated: an instance of the class
// the type library's wrapper makes for its type, as once the library is loaded (names exactly as
// declared, methods with keyword arguments and defaults). LateBound: the case-blind CDispatch,
// as where no generated class exists.
enum class DispatchKind { Generated, LateBound };

struct Scenario {
    StartupAnswer startup = StartupAnswer::Started;
    long startup_error_code = 0;
    std::string startup_error_description;
    double startup_delay = 0.0; // emulated seconds before Startup() is answered
    bool fail_creation = false; // creating "CQG.CQGCEL.4" fails
    std::uint64_t seed = 0;
    std::string gw_user = "trader";
    std::string gw_password = "secret";
    GatewayAnswer logon = GatewayAnswer::Answered;
    GatewayAnswer logoff = GatewayAnswer::Answered;
    GatewayAnswer accounts_reload = GatewayAnswer::Answered;
    std::vector<AccountState> accounts = default_accounts();
    MarketSettings market; // instruments, history, INVALID share; its seed is `seed`
    EventDelivery event_delivery = EventDelivery::Queued;
    DispatchKind dispatch = DispatchKind::Generated;
};

// What one CQGCEL object was asked to do; outlives the object. Only the latest entries are
// kept, so a long live run does not grow without bound.
struct CelRecord {
    static constexpr size_t LIMIT = 100000;

    unsigned long thread_ident = 0;                             // the thread it was made on
    std::deque<std::pair<std::string, nb::object>> assignments; // APIConfiguration, in order
    std::deque<std::string> calls;                              // method names, in order
    std::deque<unsigned long> assignment_threads;               // the thread each ran on
    std::deque<unsigned long> call_threads;

    // Property assignments on CQG objects other than APIConfiguration, in order:
    // (type name, member, value as given).
    std::deque<nb::object> properties;
    std::deque<nb::object> call_args; // the arguments of each call in `calls`

    // Calls on CQG objects, CQGCEL's own included, in order: (type name, member, arguments).
    std::deque<nb::object> object_calls;

    void note_assignment(const char *property, nb::handle value, unsigned long thread);
    void note_call(const char *method, unsigned long thread, nb::tuple args = nb::tuple());
    void note_property(const char *type_name, const char *member, nb::handle value);
    void note_object_call(const char *type_name, const char *member, nb::tuple args);
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
