// Repair of a window of bars whose fields CQG left without a value. Plain C++ over the
// validity of each field of each bar; the caller moves the values themselves.
//
// Forward pass, oldest to newest: a missing field takes the value of the bar before it, so
// a run of missing values is filled with the last value before the run. Backward pass,
// newest to oldest: a field still missing takes the value of the bar after it, which fills
// the start of the window. Only the newest bar can still miss a value afterwards (and then
// only when no bar of the window has one).
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace corvane::gatelink {

// open, high, low, close, volume
constexpr std::size_t kBarFields = 5;

// For each field of one bar: true when it has a value.
using BarValidity = std::array<bool, kBarFields>;

// Bar `bar`'s `field` takes the value that bar `from_bar` held before the repair.
struct FieldRepair {
    std::size_t bar;
    std::size_t field;
    std::size_t from_bar;
};

struct WindowRepair {
    std::vector<FieldRepair> repairs; // in the order the passes make them
    BarValidity newest_valid;         // the newest bar's fields after the repair
};

// `window`: the bars' validity, oldest first (may be empty).
WindowRepair repair_window(const std::vector<BarValidity> &window);

} // namespace corvane::gatelink
