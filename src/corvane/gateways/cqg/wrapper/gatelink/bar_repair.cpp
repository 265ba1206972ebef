#include "bar_repair.hpp"

#include <algorithm>

namespace corvane::gatelink {

namespace {

constexpr std::size_t kNoBar = static_cast<std::size_t>(-1);

} // namespace

// Both passes without a table of the window: the forward pass copies, into each missing value,
// the value of the last bar before it that had one of its own; what it leaves missing in a
// field is the run of bars before that field's first value, which the backward pass fills
// from that first value, newest bar of the run first.
WindowRepair repair_window(const std::vector<BarValidity> &window) {
    WindowRepair result{};
    const std::size_t count = window.size();
    if (count == 0)
        return result;

    std::array<std::size_t, kBarFields> last_value;  // the last bar seen with a value of its own
    std::array<std::size_t, kBarFields> first_value; // the oldest bar with a value of its own
    last_value.fill(kNoBar);
    first_value.fill(kNoBar);

    // Forward, oldest to newest.
    for (std::size_t bar = 0; bar < count; ++bar)
        for (std::size_t field = 0; field < kBarFields; ++field) {
            if (window[bar][field]) {
                last_value[field] = bar;
                if (first_value[field] == kNoBar)
                    first_value[field] = bar;
            } else if (last_value[field] != kNoBar) {
                result.repairs.push_back({bar, field, last_value[field]});
            }
        }

    // Backward, from the newest bar still missing a value down to the oldest.
    std::size_t run_end = 0; // one past the newest bar left missing in any field
    for (std::size_t field = 0; field < kBarFields; ++field)
        if (first_value[field] != kNoBar)
            run_end = std::max(run_end, first_value[field]);
    for (std::size_t bar = run_end; bar-- > 0;)
        for (std::size_t field = 0; field < kBarFields; ++field)
            if (first_value[field] != kNoBar && bar < first_value[field])
                result.repairs.push_back({bar, field, first_value[field]});

    for (std::size_t field = 0; field < kBarFields; ++field)
        result.newest_valid[field] = first_value[field] != kNoBar;
    return result;
}

} // namespace corvane::gatelink
