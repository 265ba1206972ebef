#include "scenario.hpp"

namespace cqgemu {

World &world() {
    // Never destroyed: its Python objects are dropped by release_world() while Python runs.
    static auto *the_world = new World;
    return *the_world;
}

void release_world() {
    world().clock.reset();
    world().last_record.reset();
    world().current_cel.reset();
}

} // namespace cqgemu
