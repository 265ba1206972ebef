// The base of every emulated CQG object.
//
// An object lives in the apartment of the thread that made it (its home queue); calls from other
// threads reach it through that queue. Objects made by the control module for tests have no home
// and may be used from any thread. Members are reached by name through the type's MemberTable.
#pragma once

#include "member_table.hpp"
#include "thread_queue.hpp"

#include <cstdint>
#include <memory>

namespace cqgemu {

class EmulatedObject : public std::enable_shared_from_this<EmulatedObject>,
                       public ApartmentResident {
public:
    explicit EmulatedObject(std::shared_ptr<ThreadQueue> home);
    virtual ~EmulatedObject() = default;
    EmulatedObject(const EmulatedObject &) = delete;
    EmulatedObject &operator=(const EmulatedObject &) = delete;

    // The name shown in repr(), e.g. "CQG.CQGCEL.4".
    virtual const char *type_name() const = 0;
    virtual const MemberTable &members() const = 0;

    // The apartment is being left: drop event sinks and whatever else holds Python objects.
    // GIL held.
    void disconnect() override { disconnected_ = true; }

    const std::shared_ptr<ThreadQueue> &home() const { return home_; }
    bool disconnected() const {
        return disconnected_ || (home_ && home_->generation != generation_);
    }

protected:
    bool disconnected_ = false;

private:
    std::shared_ptr<ThreadQueue> home_;
    std::uint64_t generation_; // of the home apartment when the object was made
};

// Registers a new object with its apartment so that leaving the apartment disconnects it.
template <class T, class... Args> std::shared_ptr<T> make_emulated(Args &&...args);

// An object that holds nothing to let go of when its apartment is left (no Python object, no
// object that does): it is not listed, and finds itself disconnected by the apartment's
// generation. For the many short-lived objects events and reads make (quotes, enumerators).
template <class T, class... Args> std::shared_ptr<T> make_transient(Args &&...args) {
    return std::make_shared<T>(std::forward<Args>(args)...);
}

void register_with_home(const std::shared_ptr<EmulatedObject> &object);

template <class T, class... Args> std::shared_ptr<T> make_emulated(Args &&...args) {
    auto object = std::make_shared<T>(std::forward<Args>(args)...);
    register_with_home(object);
    return object;
}

} // namespace cqgemu
