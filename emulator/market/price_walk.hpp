// The seeded random walk that drives an instrument's prices. Plain C++, no Python.
//
// The generator is written out here rather than taken from <random>, whose distributions differ
// between standard libraries: the same seed gives the same market on every platform.
#pragma once

#include <cstdint>
#include <string_view>

namespace cqgemu {

// The walk's own seed for one instrument: the scenario's seed mixed with the instrument's name,
// so that instruments move independently and adding one does not change the others.
std::uint64_t instrument_seed(std::uint64_t scenario_seed, std::string_view full_name);

class PriceWalk {
public:
    PriceWalk(std::uint64_t seed, double start_price, double tick_size);

    double price() const { return price_; }
    double tick_size() const { return tick_size_; }

    // Moves the price by -2 to +2 ticks (never below one tick) and returns it.
    double step();

    // The walk's random numbers, for whatever else is drawn alongside the prices.
    std::uint64_t next_random();
    double uniform(); // in [0, 1)

private:
    double on_tick(double price) const;

    std::uint64_t state_;
    double price_;
    double tick_size_;
};

} // namespace cqgemu
