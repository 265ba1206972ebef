// The repair of a window of bars: which field of which bar takes whose value.
#include "bar_repair.hpp"
#include "plain_check.hpp"

#include <vector>

using namespace gatelink;

namespace {

// CHECK_THAT(condition, what): `what` names the case in the failure line.
#define CHECK_THAT(condition, what) CHECK((condition) && (what))

// Bars whose field `field` has a value where `has` says so; every other field has one.
std::vector<BarValidity> one_field(std::size_t field, std::vector<bool> has) {
    std::vector<BarValidity> window;
    for (bool valid : has) {
        BarValidity bar = {true, true, true, true, true};
        bar[field] = valid;
        window.push_back(bar);
    }
    return window;
}

// The value each bar holds after the repair, given the values before it.
std::vector<int> applied(const WindowRepair &repair, std::vector<int> values) {
    std::vector<int> before = values;
    for (const FieldRepair &fix : repair.repairs)
        values[fix.bar] = before[fix.from_bar];
    return values;
}

} // namespace

int main() {
    const int X = -1; // no value
    {
        WindowRepair repair = repair_window(one_field(3, {false, true, false, true}));
        CHECK_THAT(applied(repair, {X, 5, X, 7}) == std::vector<int>({5, 5, 5, 7}),
              "[X, 5, X, 7] becomes [5, 5, 5, 7]");
        CHECK_THAT(repair.repairs.size() == 2 && repair.repairs[0].bar == 2 &&
                  repair.repairs[1].bar == 0,
              "forward repairs come before backward ones");
        CHECK_THAT(repair.repairs[0].field == 3 && repair.newest_valid[3], "the field repaired");
    }
    {
        WindowRepair repair = repair_window(one_field(0, {true, false, false, false}));
        CHECK_THAT(applied(repair, {4, X, X, X}) == std::vector<int>({4, 4, 4, 4}),
              "a run at the end takes the last value before it");
        CHECK_THAT(repair.newest_valid[0], "the newest bar is repaired from the past");
    }
    {
        WindowRepair repair = repair_window(one_field(4, {false, false, true, false, true}));
        CHECK_THAT(applied(repair, {X, X, 3, X, 9}) == std::vector<int>({3, 3, 3, 3, 9}),
              "a run at the start takes the first value after it");
    }
    {
        WindowRepair repair = repair_window(one_field(1, {false, false, false}));
        CHECK_THAT(repair.repairs.empty() && !repair.newest_valid[1] && repair.newest_valid[0],
              "a field without any value stays missing, the others are whole");
    }
    {
        WindowRepair single = repair_window(one_field(2, {false}));
        CHECK_THAT(!single.newest_valid[2] && single.repairs.empty(), "one bar cannot be repaired");
        WindowRepair empty = repair_window({});
        CHECK_THAT(empty.repairs.empty(), "an empty window needs nothing");
    }
    {
        // Two fields missing in different bars are repaired independently.
        std::vector<BarValidity> window = {{true, false, true, true, true},
                                           {false, true, true, true, true}};
        WindowRepair repair = repair_window(window);
        CHECK_THAT(repair.repairs.size() == 2, "one repair per missing field");
        CHECK_THAT(repair.repairs[0].bar == 1 && repair.repairs[0].field == 0 &&
                  repair.repairs[0].from_bar == 0,
              "open of the newer bar from the older one");
        CHECK_THAT(repair.repairs[1].bar == 0 && repair.repairs[1].field == 1 &&
                  repair.repairs[1].from_bar == 1,
              "high of the older bar from the newer one");
    }
    return plain_check_result();
}
