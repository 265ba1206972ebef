#include "cqg_constants.hpp"

#include <cstring>
#include <unordered_map>

namespace cqgemu {

namespace {

std::vector<Enumeration> build_enumerations() {
    std::vector<Enumeration> all = {
        {"eTimeZone", 0,
         {"tzCentral", "tzChina", "tzEastern", "tzGreenwich", "tzHongKong", "tzJapan", "tzPacific",
          "tzSingapore"}},
        {"eConnectionStatus", 0, {"csConnectionDelayed", "csConnectionDown", "csConnectionUp"}},
        {"eDataSubscriptionLevel", 0, {"dsNone", "dsQuotes", "dsQuotesAndBBA", "dsQuotesAndDOM"}},
        {"eQuoteType", 0,
         {"qtAsk", "qtBid", "qtCohUndAsk", "qtCohUndBid", "qtDayHigh", "qtDayLow", "qtDayOpen",
          "qtImpliedAsk", "qtImpliedBid", "qtIndicativeOpen", "qtMarker", "qtOutrightAsk",
          "qtOutrightBid", "qtSettlement", "qtTodayMarker", "qtTrade", "qtYesterdaySettlement"}},
        {"eHistoricalPeriod", 1, {"hpDaily", "hpWeekly", "hpMonthly", "hpQuarterly", "hpYearly"}},
        {"eIntradayPeriod", 1, {"pfds1Min", "pfds5Min", "pfds15Min", "pfds30Min", "pfds60Min"}},
        {"eDailyBarClose", 0, {"dbcLastQuoteOrSettlement", "dbcLastQuote", "dbcSettlement"}},
        {"eTimedBarsRequestOutput", 1,
         {"tbrActualVolume", "tbrCommodityVolume", "tbrContractVolume", "tbrTickVolume"}},
        {"eTicksRequestType", 0, {"trtCurrentNotify", "trtSinceTimeNotify", "trtTimeRange"}},
        {"eTicksFilter", 0, {"tfAll", "tfAsk", "tfBid", "tfTrade", "tfSettlement"}},
        {"eTickPriceType", 1, {"tptAsk", "tptBid", "tptSettlement", "tptTrade"}},
        {"eAccountSubscriptionLevel", 0,
         {"aslNone", "aslAccountUpdates", "aslAccountUpdatesAndOrders"}},
        {"ePositionSubscriptionLevel", 0,
         {"pslNoPositions", "pslSnapshot", "pslSnapshotAndUpdates"}},
        {"eAccountChangeType", 1,
         {"actAccountChanged", "actAccountsReloaded", "actPositionAdded", "actPositionChanged",
          "actPositionsReloaded"}},
        {"eOrderType", 1, {"otLimit", "otMarket", "otStop", "otStopLimit"}},
        {"eOrderSide", 1, {"osdBuy", "osdSell", "osdUndefined"}},
        {"eOrderProperty", 1,
         {"opAverageFillPrice", "opEventServerTimestamp", "opFilledQuantity", "opGUID",
          "opGWStatus", "opInstrumentName", "opLimitPrice", "opOrderType", "opQuantity", "opSide",
          "opStopPrice", "opGWAccountID"}},
        {"eChangeType", 0, {"ctAdded", "ctChanged", "ctRemoved"}},
        {"eFillStatus", 0, {"fsNormal", "fsCanceled", "fsModified", "fsBusted"}},
        {"eOrderStatus", 1,
         {"osActiveAt", "osBusted", "osCanceled", "osContingent", "osDisconnected", "osExpired",
          "osFilled", "osInCancel", "osInClient", "osInModify", "osInOrderBook", "osInTransit",
          "osInTransitTimeout", "osNotSent", "osParked", "osRejectFCM", "osRejectGW"}},
    };
    return all;
}

// Values repeat across enumerations, so names map to values but values map back to names
// only within one enumeration.
std::unordered_map<std::string, long> build_value_index() {
    std::unordered_map<std::string, long> value_by_name;
    for (const Enumeration &enumeration : cqg_enumerations())
        for (size_t i = 0; i < enumeration.members.size(); ++i)
            value_by_name[enumeration.members[i]] = enumeration.first + static_cast<long>(i);
    return value_by_name;
}

const Enumeration *enumeration_named(const char *name) {
    for (const Enumeration &enumeration : cqg_enumerations())
        if (std::strcmp(enumeration.name, name) == 0)
            return &enumeration;
    return nullptr;
}

} // namespace

const std::vector<Enumeration> &cqg_enumerations() {
    static const std::vector<Enumeration> all = build_enumerations();
    return all;
}

std::optional<long> cqg_constant(std::string_view name) {
    static const std::unordered_map<std::string, long> value_by_name = build_value_index();
    auto it = value_by_name.find(std::string(name));
    if (it == value_by_name.end())
        return std::nullopt;
    return it->second;
}

std::string constant_name(const char *enumeration, long value) {
    const Enumeration *found = enumeration_named(enumeration);
    if (!found || value < found->first ||
        value - found->first >= static_cast<long>(found->members.size()))
        return std::string();
    return found->members[static_cast<size_t>(value - found->first)];
}

bool is_member(const char *enumeration, long value) {
    return !constant_name(enumeration, value).empty();
}

} // namespace cqgemu
