// What the emulated CQG world does: the scenario a test or the demo loads, and what the
// emulator records for inspection. One per process; touched only with the GIL held.
#pragma once

#include "emulated_clock.hpp"

#include <nanobind/nanobind.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cqgemu {

namespace nb = nanobind;

class Cqgcel;

enum class StartupAnswer { Started, DataError, DataErrorWithoutObject, NeverAnswered };

struct Scenario {
    StartupAnswer startup = StartupAnswer::Started;
    long startup_error_code = 0;
    std::string startup_error_description;
    double startup_delay = 0.0; // emulated seconds before Startup() is answered
    bool fail_creation = false; // creating "CQG.CQGCEL.4" fails
    std::uint64_t seed = 0;
};

// What one CQGCEL object was asked to do; outlives the object.
struct CelRecord {
    unsigned long thread_ident = 0;                             // the thread it was made on
    std::vector<std::pair<std::string, nb::object>> assignments; // APIConfiguration, in order
    std::vector<std::string> calls;                             // method names, in order
    std::vector<unsigned long> assignment_threads;              // the thread each ran on
    std::vector<unsigned long> call_threads;
};

struct World {
    Scenario scenario;
    std::weak_ptr<Cqgcel> current_cel;
    std::shared_ptr<CelRecord> last_record;
    bool type_library_loaded = false;
    EmulatedClock clock;
};

World &world();

// Drops the Python objects the world holds (process exit).
void release_world();

} // namespace cqgemu
