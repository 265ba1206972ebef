#include "scenario.hpp"

namespace cqgemu {

World &world() {
    // Never destroyed: its Python objects are dropped by release_world() while Python runs.
    static auto *the_world = new World;
    return *the_world;
}

void CelRecord::note_assignment(const char *property, nb::handle value, unsigned long thread) {
    assignments.emplace_back(property, nb::borrow(value));
    assignment_threads.push_back(thread);
    if (assignments.size() > LIMIT) {
        assignments.pop_front();
        assignment_threads.pop_front();
    }
}

void CelRecord::note_call(const char *method, unsigned long thread) {
    calls.emplace_back(method);
    call_threads.push_back(thread);
    if (calls.size() > LIMIT) {
        calls.pop_front();
        call_threads.pop_front();
    }
}

void release_world() {
    world().clock.reset();
    world().last_record.reset();
    world().current_cel.reset();
}

} // namespace cqgemu
