// The repair of a window of bars: which field of which bar takes whose value.
#include "bar_repair.hpp"
#include "plain_check.hpp"

#include <random>
#include <vector>

using namespace corvane::gatelink;

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


// The repair as first written: a table of every field of every bar, filled forward from the
// bar before, then backward from the bar after. Kept as the reference the passes must match.
WindowRepair repaired_through_table(const std::vector<BarValidity> &window) {
    struct Cell {
        bool valid;
        std::size_t from_bar;
    };
    WindowRepair result{};
    const std::size_t count = window.size();
    if (count == 0)
        return result;
    std::vector<std::array<Cell, kBarFields>> cells(count);
    for (std::size_t bar = 0; bar < count; ++bar)
        for (std::size_t field = 0; field < kBarFields; ++field)
            cells[bar][field] = {window[bar][field], bar};
    auto fill_from = [&](std::size_t bar, std::size_t neighbour) {
        for (std::size_t field = 0; field < kBarFields; ++field)
            if (!cells[bar][field].valid && cells[neighbour][field].valid) {
                cells[bar][field] = cells[neighbour][field];
                result.repairs.push_back({bar, field, cells[bar][field].from_bar});
            }
    };
    for (std::size_t bar = 1; bar < count; ++bar)
        fill_from(bar, bar - 1);
    for (std::size_t bar = count - 1; bar-- > 0;)
        fill_from(bar, bar + 1);
    for (std::size_t field = 0; field < kBarFields; ++field)
        result.newest_valid[field] = cells[count - 1][field].valid;
    return result;
}

bool same_repair(const WindowRepair &a, const WindowRepair &b) {
    if (a.newest_valid != b.newest_valid || a.repairs.size() != b.repairs.size())
        return false;
    for (std::size_t i = 0; i < a.repairs.size(); ++i)
        if (a.repairs[i].bar != b.repairs[i].bar || a.repairs[i].field != b.repairs[i].field ||
            a.repairs[i].from_bar != b.repairs[i].from_bar)
            return false;
    return true;
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
    {
        // Random windows, sparse and dense in missing values, short and long: the same repairs,
        // in the same order, as the table.
        std::mt19937 random(20261208);
        int differing = 0;
        for (int round = 0; round < 4000; ++round) {
            const std::size_t count = random() % 40;
            const double missing = (round % 4 + 1) * 0.2;
            std::bernoulli_distribution has_value(1.0 - missing);
            std::vector<BarValidity> window(count);
            for (BarValidity &bar : window)
                for (bool &field : bar)
                    field = has_value(random);
            if (!same_repair(repair_window(window), repaired_through_table(window)))
                ++differing;
        }
        CHECK_THAT(differing == 0, "the two passes repair as the table does");
    }
    return plain_check_result();
}
