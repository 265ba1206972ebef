#include "cqg_constants.hpp"

#include <cstring>
#include <unordered_map>

namespace cqgemu {

namespace {

std::vector<Enumeration> build_enumerations() {
    std::vector<Enumeration> all = {
        {"eTimeZone",
         {"tzCentral", "tzChina", "tzEastern", "tzGreenwich", "tzHongKong", "tzJapan", "tzPacific",
          "tzSingapore"}},
        {"eConnectionStatus", {"csConnectionDelayed", "csConnectionDown", "csConnectionUp"}},
        {"eDataSubscriptionLevel", {"dsNone", "dsQuotes", "dsQuotesAndBBA", "dsQuotesAndDOM"}},
        {"eQuoteType",
         {"qtAsk", "qtBid", "qtCohUndAsk", "qtCohUndBid", "qtDayHigh", "qtDayLow", "qtDayOpen",
          "qtImpliedAsk", "qtImpliedBid", "qtIndicativeOpen", "qtMarker", "qtOutrightAsk",
          "qtOutrightBid", "qtSettlement", "qtTodayMarker", "qtTrade", "qtYesterdaySettlement"}},
        {"eHistoricalPeriod", {"hpDaily", "hpWeekly", "hpMonthly", "hpQuarterly", "hpYearly"}},
        {"eIntradayPeriod", {"pfds1Min", "pfds5Min", "pfds15Min", "pfds30Min", "pfds60Min"}},
        {"eDailyBarClose", {"dbcLastQuoteOrSettlement", "dbcLastQuote", "dbcSettlement"}},
        {"eTimedBarsRequestOutput",
         {"tbrActualVolume", "tbrCommodityVolume", "tbrContractVolume", "tbrTickVolume"}},
        {"eTicksRequestType", {"trtCurrentNotify", "trtSinceTimeNotify", "trtTimeRange"}},
        {"eTicksFilter", {"tfAll", "tfAsk", "tfBid", "tfTrade", "tfSettlement"}},
        {"eTickPriceType", {"tptAsk", "tptBid", "tptSettlement", "tptTrade"}},
        {"eAccountSubscriptionLevel",
         {"aslNone", "aslAccountUpdates", "aslAccountUpdatesAndOrders"}},
        {"ePositionSubscriptionLevel", {"pslNoPositions", "pslSnapshot", "pslSnapshotAndUpdates"}},
        {"eAccountChangeType",
         {"actAccountChanged", "actAccountsReloaded", "actPositionAdded", "actPositionChanged",
          "actPositionsReloaded"}},
        {"eOrderType", {"otLimit", "otMarket", "otStop", "otStopLimit"}},
        {"eOrderSide", {"osdBuy", "osdSell", "osdUndefined"}},
        {"eOrderProperty",
         {"opAverageFillPrice", "opEventServerTimestamp", "opFilledQuantity", "opGUID",
          "opGWStatus", "opInstrumentName", "opLimitPrice", "opOrderType", "opQuantity", "opSide",
          "opStopPrice", "opGWAccountID"}},
        {"eChangeType", {"ctAdded", "ctChanged", "ctRemoved"}},
        {"eFillStatus", {"fsNormal", "fsCanceled", "fsModified", "fsBusted"}},
        {"eOrderStatus",
         {"osActiveAt", "osBusted", "osCanceled", "osContingent", "osDisconnected", "osExpired",
          "osFilled", "osInCancel", "osInClient", "osInModify", "osInOrderBook", "osInTransit",
          "osInTransitTimeout", "osNotSent", "osParked", "osRejectFCM", "osRejectGW"}},
    };
    long base = 100;
    for (Enumeration &enumeration : all) {
        enumeration.base = base;
        base += 100;
    }
    return all;
}

struct ConstantIndex {
    std::unordered_map<std::string, long> value_by_name;
    std::unordered_map<long, const Enumeration *> enumeration_by_value;
};

const ConstantIndex &index() {
    static const ConstantIndex built = [] {
        ConstantIndex index;
        for (const Enumeration &enumeration : cqg_enumerations())
            for (size_t i = 0; i < enumeration.members.size(); ++i) {
                long value = enumeration.base + static_cast<long>(i);
                index.value_by_name[enumeration.members[i]] = value;
                index.enumeration_by_value[value] = &enumeration;
            }
        return index;
    }();
    return built;
}

} // namespace

const std::vector<Enumeration> &cqg_enumerations() {
    static const std::vector<Enumeration> all = build_enumerations();
    return all;
}

std::optional<long> cqg_constant(std::string_view name) {
    auto it = index().value_by_name.find(std::string(name));
    if (it == index().value_by_name.end())
        return std::nullopt;
    return it->second;
}

const Enumeration *enumeration_of(long value) {
    auto it = index().enumeration_by_value.find(value);
    return it == index().enumeration_by_value.end() ? nullptr : it->second;
}

std::string constant_name(const char *enumeration, long value) {
    const Enumeration *found = enumeration_of(value);
    if (!found || std::strcmp(found->name, enumeration) != 0)
        return std::string();
    return found->members[static_cast<size_t>(value - found->base)];
}

bool is_member(const char *enumeration, long value) {
    return !constant_name(enumeration, value).empty();
}

} // namespace cqgemu
