#include "market.hpp"

#include <cmath>

namespace cqgemu {

std::vector<InstrumentTerms> MarketSettings::default_instruments() {
    return {{"F.US.EPZ26", 6000.0, 0.25}, {"F.US.ENQZ26", 21000.0, 0.25},
            {"F.US.CLEF27", 70.0, 0.01}};
}

double minute_of(double epoch_seconds) {
    return std::floor(epoch_seconds / BAR_SECONDS) * BAR_SECONDS;
}

Market::Market(MarketSettings settings) : settings_(std::move(settings)) {}

const InstrumentTerms *Market::find(const std::string &symbol) const {
    if (symbol.empty())
        return nullptr;
    for (const InstrumentTerms &terms : settings_.instruments)
        if (terms.full_name.find(symbol) != std::string::npos)
            return &terms;
    return nullptr;
}

MarketInstrument &Market::instrument(const InstrumentTerms &terms, double now) {
    auto found = by_name_.find(terms.full_name);
    if (found != by_name_.end())
        return *found->second;
    PriceWalk walk(instrument_seed(settings_.seed, terms.full_name), terms.price, terms.tick_size);
    BarHistory bars = BarHistory::generated(walk, minute_of(now), settings_.history_bars,
                                            settings_.invalid_fraction);
    auto made = std::make_unique<MarketInstrument>(
        MarketInstrument{terms, std::move(walk), std::move(bars), TradingDay{}});
    return *by_name_.emplace(terms.full_name, std::move(made)).first->second;
}

std::vector<MarketInstrument *> Market::made() {
    std::vector<MarketInstrument *> result;
    for (const InstrumentTerms &terms : settings_.instruments) {
        auto found = by_name_.find(terms.full_name);
        if (found != by_name_.end())
            result.push_back(found->second.get());
    }
    return result;
}

} // namespace cqgemu
