// Faults a test sets on the next order or fill; each is used up by the report it changes.
// Touched only with the GIL held.
#pragma once

#include <optional>

namespace cqgemu {

struct OrderFaults {
    bool reject_next_order = false;   // reported added, then rejected by the gateway
    bool drop_next_order = false;     // never reported
    bool duplicate_next_fill = false; // the next fill's report goes out twice
    std::optional<long> next_status;      // carried by the next status report instead
    std::optional<long> next_fill_status; // the next fill's status instead of fsNormal

    template <class T> static std::optional<T> take(std::optional<T> &fault) {
        std::optional<T> taken = fault;
        fault.reset();
        return taken;
    }
    static bool take(bool &fault) {
        bool taken = fault;
        fault = false;
        return taken;
    }
};

} // namespace cqgemu
