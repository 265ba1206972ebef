#include "cel_sink_base.hpp"

#include "class_builder.hpp"

#include <cstddef>

namespace corvane::bridge {

namespace {

// One CQGCEL event handler: its name and the names of its parameters, in order.
struct HandlerSignature {
    const char *name;
    std::size_t arity;
    const char *params[5];
};

// Every CQGCEL event, in the order the class declares them. The six names spelt with T
// (OnTonstantVolumeBars..., OnTondition..., OnTustomStudy...) are meant as they stand.
const HandlerSignature kHandlers[] = {
    {"OnLineTimeChanged", 1, {"newLineTime"}},
    {"OnGWConnectionStatusChanged", 1, {"newStatus"}},
    {"OnDataConnectionStatusChanged", 1, {"newStatus"}},
    {"OnInstrumentSubscribed", 2, {"symbol", "cqgInstrument"}},
    {"OnInstrumentChanged", 3, {"cqgInstrument", "cqgQuotes", "cqgInstrumentProperties"}},
    {"OnInstrumentDOMChanged", 3, {"cqgInstrument", "prevAsks", "prevBids"}},
    {"OnAccountChanged", 3, {"changeType", "cqgAccount", "cqgPosition"}},
    {"OnIsReady", 1, {"readyStatus"}},
    {"OnIdle", 0, {}},
    {"OnDataError", 2, {"cqgError", "errorDescription"}},
    {"OnCELStarted", 0, {}},
    {"OnIncorrectSymbol", 1, {"symbol"}},
    {"OnCommodityInstrumentsResolved", 3, {"commodityName", "instrumentTypes", "cqgCommodityInstruments"}},
    {"OnGWEnvironmentChanged", 3, {"eventCode", "accountId", "phase"}},
    {"OnCurrencyRatesChanged", 1, {"cqgCurrencyRates"}},
    {"OnQueryProgress", 2, {"cqgOrdersQuery", "cqgError"}},
    {"OnOrderChanged", 5, {"changeType", "cqgOrder", "oldProperties", "cqgFill", "cqgError"}},
    {"OnDataSourcesResolved", 2, {"cqgDataSources", "cqgError"}},
    {"OnDataSourceSymbolsResolved", 3, {"dataSourceAbbreviation", "cqgDataSourceSymbols", "cqgError"}},
    {"OnCustomSessionsResolved", 2, {"cqgSessionsCollection", "cqgError"}},
    {"OnTradableCommoditiesResolved", 3, {"gwAccountId", "cqgCommodities", "cqgError"}},
    {"OnTicksResolved", 2, {"cqgTicks", "cqgError"}},
    {"OnTicksAdded", 2, {"cqgTicks", "added_ticks_count"}},
    {"OnTicksRemoved", 2, {"cqgTicks", "removedTickIndex"}},
    {"OnTimedBarsResolved", 2, {"cqgTimedBars", "cqgError"}},
    {"OnTimedBarsAdded", 1, {"cqgTimedBars"}},
    {"OnTimedBarsUpdated", 2, {"cqgTimedBars", "index"}},
    {"OnConstantVolumeBarsResolved", 2, {"cqgConstantVolumeBars", "cqgError"}},
    {"OnConstantVolumeBarsAdded", 1, {"cqgConstantVolumeBars"}},
    {"OnConstantVolumeBarsUpdated", 2, {"cqgConstantVolumeBars", "index"}},
    {"OnPointAndFigureBarsResolved", 2, {"cqgPointAndFigureBars", "cqgError"}},
    {"OnPointAndFigureBarsAdded", 1, {"cqgPointAndFigureBars"}},
    {"OnPointAndFigureBarsUpdated", 2, {"cqgPointAndFigureBars", "index"}},
    {"OnYieldsResolved", 2, {"cqgYields", "cqgError"}},
    {"OnYieldsAdded", 1, {"cqgYields"}},
    {"OnYieldsUpdated", 2, {"cqgYields", "index"}},
    {"OnTFlowBarsResolved", 2, {"cqgTFlowBars", "cqgError"}},
    {"OnTFlowBarsAdded", 1, {"cqgTFlowBars"}},
    {"OnTFlowBarsUpdated", 2, {"cqgTFlowBars", "index"}},
    {"OnCustomStudyDefinitionsResolved", 2, {"cqgCustomStudyDefinitions", "cqgError"}},
    {"OnTradingSystemDefinitionsResolved", 2, {"cqgCustomStudyDefinitions", "cqgError"}},
    {"OnConditionDefinitionsResolved", 2, {"cqgConditionDefinitions", "cqgError"}},
    {"OnQFormulaDefinitionsResolved", 2, {"cqgQFormulaDefinitions", "cqgError"}},
    {"OnCustomStudyResolved", 2, {"cqgCustomStudy", "cqgError"}},
    {"OnCustomStudyAdded", 1, {"cqgCustomStudy"}},
    {"OnCustomStudyUpdated", 2, {"cqgCustomStudy", "index"}},
    {"OnConditionResolved", 2, {"cqgCondition", "cqgError"}},
    {"OnConditionAdded", 1, {"cqgCondition"}},
    {"OnConditionUpdated", 2, {"cqgCondition", "index"}},
    {"OnTradingSystemResolved", 2, {"cqgTradingSystem", "cqgError"}},
    {"OnTradingSystemAddNotification", 2, {"cqgTradingSystem", "cqgTradingSystemAddInfo"}},
    {"OnTradingSystemUpdateNotification", 2, {"cqgTradingSystem", "cqgTradingSystemUpdateInfo"}},
    {"OnExpressionResolved", 2, {"cqgExpression", "cqgError"}},
    {"OnExpressionAdded", 1, {"cqgExpression"}},
    {"OnExpressionUpdated", 2, {"cqgExpression", "index"}},
    {"OnAlgorithmicOrderRegistrationComplete", 2, {"guid", "cqgError"}},
    {"OnAlgorithmicOrderPlaced", 3, {"guid", "mainParams", "customProps"}},
    {"OnTimedBarsInserted", 2, {"cqgTimedBars", "index"}},
    {"OnTimedBarsRemoved", 2, {"cqgTimedBars", "index"}},
    {"OnTonstantVolumeBarsInserted", 2, {"cqgConstantVolumeBars", "index"}},
    {"OnTonstantVolumeBarsRemoved", 2, {"cqgConstantVolumeBars", "index"}},
    {"OnPointAndFigureBarsInserted", 2, {"cqgPointAndFigureBars", "index"}},
    {"OnPointAndFigureBarsRemoved", 2, {"cqgPointAndFigureBars", "index"}},
    {"OnYieldsInserted", 2, {"cqgYields", "index"}},
    {"OnYieldsRemoved", 2, {"cqgYields", "index"}},
    {"OnTFlowBarsInserted", 2, {"cqgTFlowBars", "index"}},
    {"OnTFlowBarsRemoved", 2, {"cqgTFlowBars", "index"}},
    {"OnExpressionInserted", 2, {"cqgExpression", "index"}},
    {"OnExpressionRemoved", 2, {"cqgExpression", "index"}},
    {"OnTonditionInserted", 2, {"cqgCondition", "index"}},
    {"OnTonditionRemoved", 2, {"cqgCondition", "index"}},
    {"OnTustomStudyInserted", 2, {"cqgCustomStudy", "index"}},
    {"OnTustomStudyRemoved", 2, {"cqgCustomStudy", "index"}},
    {"OnICConnectionStatusChanged", 1, {"newStatus"}},
    {"OnAllOrdersCanceled", 3, {"orderSide", "gwAccountIds", "instrumentNames"}},
    {"OnInstrumentsGroupResolved", 2, {"cqgInstrumentsGroup", "cqgError"}},
    {"OnInstrumentsGroupChanged", 3, {"changeType", "cqgInstrumentsGroup", "instrumentsNames"}},
    {"OnBarsTimestampsResolved", 2, {"cqgBarsTimestamps", "cqgError"}},
    {"OnStrategyDefinitionProgress", 2, {"cqgDefinition", "cqgError"}},
    {"OnTradingSystemInsertNotification", 2, {"cqgTradingSystem", "cqgTradingSystemInsertInfo"}},
    {"OnTradingSystemRemoveNotification", 2, {"cqgTradingSystem", "cqgTradingSystemRemoveInfo"}},
    {"OnTradingSystemTradeRelationAddNotification", 2, {"cqgTradingSystem", "cqgTradingSystemRelationAddInfo"}},
    {"OnTradableExchangesResolved", 3, {"gwAccountId", "cqgExchanges", "cqgError"}},
    {"OnHistoricalSessionsResolved", 3, {"cqgHistoricalSessions", "cqgHistoricalSessionsRequest", "cqgError"}},
    {"OnSummariesStatementResolved", 2, {"cqgSummariesStatement", "cqgError"}},
    {"OnPositionsStatementResolved", 2, {"cqgPositionsStatement", "cqgError"}},
    {"OnManualFillUpdateResolved", 2, {"cqgManualFillRequest", "cqgError"}},
    {"OnManualFillsResolved", 2, {"cqgManualFills", "cqgError"}},
    {"OnManualFillChanged", 2, {"cqgManualFill", "modifyType"}},
    {"OnAuthenticationStatusChanged", 2, {"newStatus", "cqgError"}},
    {"OnPasswordChanged", 2, {"requestStatus", "cqgError"}},
    {"OnAdvancedStudyDefinitionsResolved", 2, {"cqgAdvancedStudyDefinitions", "cqgError"}},
    {"OnAdvancedStudyResolved", 2, {"cqgAdvancedStudy", "cqgError"}},
    {"OnAdvancedStudyAdded", 1, {"cqgAdvancedStudy"}},
    {"OnAdvancedStudyUpdated", 2, {"cqgAdvancedStudy", "index"}},
    {"OnAdvancedStudyInserted", 2, {"cqgAdvancedStudy", "index"}},
    {"OnAdvancedStudyRemoved", 2, {"cqgAdvancedStudy", "index"}},
    {"OnSubMinuteBarsResolved", 2, {"cqgSubminuteBars", "cqgError"}},
    {"OnSubMinuteBarsAdded", 1, {"cqgSubminuteBars"}},
    {"OnSubMinuteBarsUpdated", 2, {"cqgSubminuteBars", "index"}},
    {"OnSubMinuteBarsInserted", 2, {"cqgSubminuteBars", "index"}},
    {"OnSubMinuteBarsRemoved", 2, {"cqgSubminuteBars", "index"}},
    {"OnInstrumentResolved", 3, {"symbol", "cqgInstrument", "cqgError"}},
    {"OnStrategyQuoteRequestResolved", 3, {"cqgRFQ", "isProcessed", "cqgError"}},
};

// A handler that accepts exactly its listed arguments (None included), does nothing and
// returns None.
void define_no_op_handler(pyglue::ClassBuilder &cls, const HandlerSignature &h) {
    auto param = [&h](std::size_t i) { return nb::arg(h.params[i]).none(); };
    using H = nb::handle;
    switch (h.arity) {
    case 0:
        cls.def(h.name, [](H) {});
        break;
    case 1:
        cls.def(h.name, [](H, H) {}, param(0));
        break;
    case 2:
        cls.def(h.name, [](H, H, H) {}, param(0), param(1));
        break;
    case 3:
        cls.def(h.name, [](H, H, H, H) {}, param(0), param(1), param(2));
        break;
    case 4:
        cls.def(h.name, [](H, H, H, H, H) {}, param(0), param(1), param(2), param(3));
        break;
    case 5:
        cls.def(h.name, [](H, H, H, H, H, H) {}, param(0), param(1), param(2), param(3),
                param(4));
        break;
    }
}

} // namespace

nb::object make_cel_sink_base(nb::handle module) {
    pyglue::ClassBuilder sink(module, "CELSinkBase", nb::tuple(),
                              "Base of every CQGCEL event sink: each handler accepts its "
                              "event and does nothing.");
    for (const HandlerSignature &handler : kHandlers)
        define_no_op_handler(sink, handler);
    return sink.get();
}

} // namespace corvane::bridge
