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

void CelRecord::note_assignment(const char *property, nb::handle value, unsigned long thread) {
    assignments.emplace_back(property, nb::borrow(value));
    assignment_threads.push_back(thread);
    if (assignments.size() > LIMIT) {
        assignments.pop_front();
        assignment_threads.pop_front();
    }
}

void CelRecord::note_call(const char *method, unsigned long thread, nb::tuple args) {
    calls.emplace_back(method);
    call_threads.push_back(thread);
    call_args.push_back(std::move(args));
    if (calls.size() > LIMIT) {
        calls.pop_front();
        call_threads.pop_front();
        call_args.pop_front();
    }
}

void CelRecord::note_property(const char *type_name, const char *member, nb::handle value) {
    properties.push_back(nb::make_tuple(nb::str(type_name), nb::str(member), nb::borrow(value)));
    if (properties.size() > LIMIT)
        properties.pop_front();
}

void CelRecord::note_object_call(const char *type_name, const char *member, nb::tuple args) {
    object_calls.push_back(nb::make_tuple(nb::str(type_name), nb::str(member), std::move(args)));
    if (object_calls.size() > LIMIT)
        object_calls.pop_front();
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
