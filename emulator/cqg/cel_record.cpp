#include "cel_record.hpp"

namespace cqgemu {

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

} // namespace cqgemu
