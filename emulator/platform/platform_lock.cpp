#include "platform_lock.hpp"

namespace cqgemu {

// Never destroyed: threads may still announce their end while the process exits.
std::mutex &platform_mutex() {
    static auto *mutex = new std::mutex;
    return *mutex;
}

std::condition_variable &platform_changed() {
    static auto *changed = new std::condition_variable;
    return *changed;
}

} // namespace cqgemu
