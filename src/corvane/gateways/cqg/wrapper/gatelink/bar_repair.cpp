#include "bar_repair.hpp"

namespace gatelink {

namespace {

// Where each field's value comes from during the repair, and whether it has one yet.
struct Cell {
    bool valid;
    std::size_t from_bar;
};

// Fills `bar` from `neighbour` wherever `bar` lacks a value that `neighbour` has.
void fill_from(std::vector<std::array<Cell, kBarFields>> &cells, std::size_t bar,
               std::size_t neighbour, std::vector<FieldRepair> &repairs) {
    for (std::size_t field = 0; field < kBarFields; ++field) {
        Cell &cell = cells[bar][field];
        const Cell &source = cells[neighbour][field];
        if (!cell.valid && source.valid) {
            cell = source;
            repairs.push_back({bar, field, source.from_bar});
        }
    }
}

} // namespace

WindowRepair repair_window(const std::vector<BarValidity> &window) {
    WindowRepair result{};
    const std::size_t count = window.size();
    if (count == 0)
        return result;

    std::vector<std::array<Cell, kBarFields>> cells(count);
    for (std::size_t bar = 0; bar < count; ++bar)
        for (std::size_t field = 0; field < kBarFields; ++field)
            cells[bar][field] = {window[bar][field], bar};

    // Forward: from the second bar to the newest, each from the bar before it.
    for (std::size_t bar = 1; bar < count; ++bar)
        fill_from(cells, bar, bar - 1, result.repairs);
    // Backward: from the second newest bar down to the oldest, each from the bar after it.
    for (std::size_t bar = count - 1; bar-- > 0;)
        fill_from(cells, bar, bar + 1, result.repairs);

    for (std::size_t field = 0; field < kBarFields; ++field)
        result.newest_valid[field] = cells[count - 1][field].valid;
    return result;
}

} // namespace gatelink
