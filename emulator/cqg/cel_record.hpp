// What a CQGCEL was asked to do, kept for tests to inspect (corvane_emulator's cel_calls(),
// property_log() and their kin).
#pragma once

#include <nanobind/nanobind.h>

#include <deque>
#include <string>
#include <utility>

namespace cqgemu {

namespace nb = nanobind;

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

} // namespace cqgemu
