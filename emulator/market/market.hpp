// The emulated exchange's instruments: for each, its walk, its bars and its trading day, made
// when first asked for. Plain C++, no Python. One per world, shared by every CQGCEL.
#pragma once

#include "bar_history.hpp"
#include "price_walk.hpp"
#include "quote_feed.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace cqgemu {

struct InstrumentTerms {
    std::string full_name; // e.g. "F.US.EPZ26"
    double price = 0.0;    // where the walk starts
    double tick_size = 0.01;
};

struct MarketSettings {
    std::vector<InstrumentTerms> instruments = default_instruments();
    std::uint64_t seed = 0;
    size_t history_bars = 200;
    double invalid_fraction = 0.0;

    static std::vector<InstrumentTerms> default_instruments();
};

struct MarketInstrument {
    InstrumentTerms terms;
    PriceWalk walk;
    BarHistory bars;
    TradingDay day;
};

// The start of the minute that holds `epoch_seconds`.
double minute_of(double epoch_seconds);

class Market {
public:
    explicit Market(MarketSettings settings = MarketSettings());

    const MarketSettings &settings() const { return settings_; }

    // The first instrument whose full name contains `symbol` (an empty symbol names none).
    const InstrumentTerms *find(const std::string &symbol) const;

    // The instrument's market, made on first use with its history ending before the minute of
    // `now`.
    MarketInstrument &instrument(const InstrumentTerms &terms, double now);

    // Every instrument made so far, in the order of the scenario.
    std::vector<MarketInstrument *> made();

private:
    MarketSettings settings_;
    std::map<std::string, std::unique_ptr<MarketInstrument>> by_name_;
};

} // namespace cqgemu
