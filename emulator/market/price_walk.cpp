#include "price_walk.hpp"

#include <algorithm>
#include <cmath>

namespace cqgemu {

std::uint64_t instrument_seed(std::uint64_t scenario_seed, std::string_view full_name) {
    std::uint64_t hash = 1469598103934665603ULL; // FNV-1a
    for (char c : full_name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash ^ (scenario_seed * 0x9E3779B97F4A7C15ULL);
}

PriceWalk::PriceWalk(std::uint64_t seed, double start_price, double tick_size)
    : state_(seed), price_(0.0), tick_size_(tick_size > 0 ? tick_size : 0.01) {
    price_ = std::max(tick_size_, on_tick(start_price));
}

std::uint64_t PriceWalk::next_random() {
    // splitmix64
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double PriceWalk::uniform() { return static_cast<double>(next_random() >> 11) * 0x1.0p-53; }

double PriceWalk::step() {
    long ticks = static_cast<long>(next_random() % 5) - 2;
    price_ = std::max(tick_size_, on_tick(price_ + static_cast<double>(ticks) * tick_size_));
    return price_;
}

double PriceWalk::on_tick(double price) const {
    return std::round(price / tick_size_) * tick_size_;
}

} // namespace cqgemu
