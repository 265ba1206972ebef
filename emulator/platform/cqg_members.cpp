#include "cqg_members.hpp"

namespace cqgemu {

const std::vector<const char *> &cqg_member_names() {
    static const std::vector<const char *> names = {
        // CQGCEL
        "APIConfiguration", "Startup", "Shutdown", "GWLogon", "GWLogoff",
        "AccountSubscriptionLevel", "Accounts", "NewInstrument", "RemoveInstrument",
        "Instruments", "CreateTicksRequest", "RequestTicks", "RemoveTicks", "AllTicks",
        "CreateTimedBarsRequest", "RequestTimedBars", "RemoveTimedBars", "AllTimedBars",
        "CreateOrder", "Orders",
        // APIConfiguration
        "CollectionsThrowException", "NewInstrumentChangeMode", "ReadyStatusCheck",
        "TimeZoneCode", "IncludeOrderTransactions", "UseOrderSide",
        // every collection; IEnumVARIANT
        "Count", "Item", "ItemByIndex", "_NewEnum", "Next",
        // CQGAccount, CQGAccountSummary, CQGPosition
        "GWAccountID", "GWAccountName", "AutoSubscribeInstruments", "PositionSubcriptionLevel",
        "Summary", "Positions", "Balance", "Collaterals", "NLV", "MaintenanceMargin",
        "ProfitLoss", "UPL", "Quantity", "InstrumentName", "Side", "AveragePrice", "OTE",
        // CQGError
        "Code", "Description",
        // CQGInstrument, CQGQuote, CQGInstrumentProperties
        "FullName", "TickSize", "DataSubscriptionLevel", "Properties", "IsValid", "Type",
        "Price", "Volume",
        // CQGOrder, its properties and transactions, CQGOrders
        "GUID", "Manual", "Place", "Cancel", "Id", "Value", "Order", "Timestamp", "Status",
        "ItemByGuid",
        // CQGTicksRequest, CQGTick, CQGTicks
        "Symbol", "TickFilter", "SessionsFilter", "Limit", "PriceType", "Request",
        // CQGTimedBarsRequest, CQGTimedBar, CQGTimedBars
        "RangeStart", "RangeEnd", "HistoricalPeriod", "IntradayPeriod", "DailyBarClose",
        "UpdatesEnabled", "IncludeOutput", "Open", "High", "Low", "Close", "ActualVolume",
        "ActualVolumeFractional", "CommodityVolumeFractional", "ContractVolumeFractional",
        "TickVolume",
    };
    return names;
}

// The probe also has CQG's `Value`.
const std::vector<const char *> &probe_member_names() {
    static const std::vector<const char *> names = {
        "Echo", "EchoDeclared", "RaisePythonError", "ThrowCppError", "ReturnUnconvertible", "Fire",
    };
    return names;
}

bool is_declared_member_name(std::string_view name) {
    for (const auto *list : {&cqg_member_names(), &probe_member_names()})
        for (const char *declared : *list)
            if (name == declared)
                return true;
    return false;
}

} // namespace cqgemu
