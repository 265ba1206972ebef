#include "market.hpp"

#include <cmath>

namespace cqgemu {

std::vector<InstrumentSpec> MarketSettings::default_instruments() {
    return {{"F.US.EPZ26", 6000.0, 0.25}, {"F.US.ENQZ26", 21000.0, 0.25},
            {"F.US.CLEF27", 70.0, 0.01}};
}

double minute_of(double epoch_seconds) {
    return std::floor(epoch_seconds / BAR_SECONDS) * BAR_SECONDS;
}

Market::Market(MarketSettings settings) : settings_(std::move(settings)) {}

const InstrumentSpec *Market::find(const std::string &symbol) const {
    if (symbol.empty())
        return nullptr;
    for (const InstrumentSpec &spec : settings_.instruments)
        if (spec.full_name.find(symbol) != std::string::npos)
            return &spec;
    return nullptr;
}

MarketInstrument &Market::instrument(const InstrumentSpec &spec, double now) {
    auto found = by_name_.find(spec.full_name);
    if (found != by_name_.end())
        return *found->second;
    PriceWalk walk(instrument_seed(settings_.seed, spec.full_name), spec.price, spec.tick_size);
    BarHistory bars = BarHistory::generated(walk, minute_of(now), settings_.history_bars,
                                            settings_.invalid_fraction);
    auto made = std::make_unique<MarketInstrument>(
        MarketInstrument{spec, std::move(walk), std::move(bars), TradingDay{}});
    return *by_name_.emplace(spec.full_name, std::move(made)).first->second;
}

std::vector<MarketInstrument *> Market::made() {
    std::vector<MarketInstrument *> result;
    for (const InstrumentSpec &spec : settings_.instruments) {
        auto found = by_name_.find(spec.full_name);
        if (found != by_name_.end())
            result.push_back(found->second.get());
    }
    return result;
}

} // namespace cqgemu
