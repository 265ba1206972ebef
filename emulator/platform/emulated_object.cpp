#include "emulated_object.hpp"

#include "thread_queue.hpp"

namespace cqgemu {

EmulatedObject::EmulatedObject(std::shared_ptr<ThreadQueue> home)
    : home_(std::move(home)), generation_(home_ ? home_->generation : 0) {}

void register_with_home(const std::shared_ptr<EmulatedObject> &object) {
    if (!object->home())
        return;
    auto &objects = object->home()->objects;
    // Short-lived objects (event arguments) come and go; keep the list from growing with them.
    if (objects.size() == objects.capacity() && objects.size() >= 64) {
        std::vector<std::weak_ptr<ApartmentResident>> live;
        for (auto &weak : objects)
            if (!weak.expired())
                live.push_back(std::move(weak));
        objects.swap(live);
    }
    objects.push_back(object);
}

} // namespace cqgemu
