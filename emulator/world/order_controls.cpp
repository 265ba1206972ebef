#include "order_controls.hpp"

#include "market_delivery.hpp"
#include "module_function.hpp"
#include "order_flow.hpp"
#include "scenario.hpp"
#include "scenario_input.hpp"
#include "cqg/cqg_instrument.hpp"
#include "cqg/cqg_order.hpp"
#include "cqg/cqgcel.hpp"
#include "market/cqg_constants.hpp"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include <cmath>
#include <stdexcept>

namespace cqgemu {

namespace {

const InstrumentTerms &instrument_terms(const std::string &symbol) {
    const InstrumentTerms *terms = world().market->market.find(symbol);
    if (!terms)
        fail(PyExc_ValueError, "no instrument of the scenario matches '" + symbol + "'");
    return *terms;
}

double positive_price(double price, const char *what) {
    if (!(price > 0.0) || !std::isfinite(price))
        fail(PyExc_ValueError, std::string(what) + " must be a finite price above zero");
    return price;
}

// The market moves: its quotes reach the sinks first, then the fills it causes.
size_t set_market(const std::string &symbol, double bid, double ask, std::optional<double> last,
                  std::optional<long> size) {
    const InstrumentTerms &terms = instrument_terms(symbol);
    MarketTop top{positive_price(bid, "bid"), positive_price(ask, "ask"), size.value_or(0)};
    if (top.bid > top.ask)
        fail(PyExc_ValueError, "the bid must not be above the ask");
    if (top.size < 0)
        fail(PyExc_ValueError, "size must not be negative");
    std::shared_ptr<Cqgcel> cel = connected_cel();
    EventBatch batch;
    if (cel) {
        std::vector<QuoteValue> quotes = {{*cqg_constant("qtBid"), top.bid, 0.0, true},
                                          {*cqg_constant("qtAsk"), top.ask, 0.0, true}};
        if (last)
            quotes.push_back({*cqg_constant("qtTrade"), positive_price(*last, "last"), 0.0, true});
        deliver_quotes(*cel, terms.full_name, quotes, batch);
    }
    move_market(cel.get(), terms.full_name, top, batch);
    size_t events = batch.events.size();
    if (cel)
        cel->fire(batch);
    return events;
}

OrderKind kind_named(const std::string &type) {
    if (type == "market")
        return OrderKind::Market;
    if (type == "limit")
        return OrderKind::Limit;
    if (type == "stop")
        return OrderKind::Stop;
    fail(PyExc_ValueError, "type must be 'market', 'limit' or 'stop', not '" + type + "'");
}

OrderSide side_named(const std::string &side) {
    if (side == "buy")
        return OrderSide::Buy;
    if (side == "sell")
        return OrderSide::Sell;
    fail(PyExc_ValueError, "side must be 'buy' or 'sell', not '" + side + "'");
}

// An order from outside the algorithm (another trader, the desk): reported like any other.
std::string manual_order(long account_id, const std::string &symbol, const std::string &side,
                         long quantity, const std::string &type, std::optional<double> price,
                         std::optional<double> stop_price) {
    if (!world().accounts.find(account_id))
        fail(PyExc_ValueError, "no account with GWAccountID " + std::to_string(account_id));
    OrderTicket ticket;
    ticket.account_id = account_id;
    ticket.instrument = instrument_terms(symbol).full_name;
    ticket.kind = kind_named(type);
    ticket.side = side_named(side);
    ticket.quantity = quantity;
    ticket.limit_price = price.value_or(0.0);
    ticket.stop_price = stop_price.value_or(0.0);
    ticket.manual = true;
    try {
        MatchingEngine::check(ticket);
    } catch (const std::invalid_argument &refused) {
        fail(PyExc_ValueError, refused.what());
    }
    std::shared_ptr<Cqgcel> cel = current_cel();
    std::string guid = world().orders.new_guid();
    place_order(*cel, guid, ticket);
    return guid;
}

long status_value(nb::handle status, const char *enumeration) {
    if (PyUnicode_Check(status.ptr())) {
        std::string name = nb::cast<std::string>(status);
        std::optional<long> value = cqg_constant(name);
        if (!value || constant_name(enumeration, *value) != name)
            fail(PyExc_ValueError, "'" + name + "' is not a member of " + enumeration);
        return *value;
    }
    return integer_from(status, "a status");
}

nb::object price_or_none(double price) {
    return price > 0.0 ? nb::object(nb::float_(price)) : nb::none();
}

const char *kind_text(OrderKind kind) {
    return kind == OrderKind::Market ? "market" : kind == OrderKind::Limit ? "limit" : "stop";
}

nb::list orders() {
    nb::list listed;
    for (const EngineOrder &order : world().orders.orders()) {
        nb::dict entry;
        entry["guid"] = order.guid;
        entry["type"] = kind_text(order.ticket.kind);
        entry["side"] = order.ticket.side == OrderSide::Buy ? "buy" : "sell";
        entry["quantity"] = order.ticket.quantity;
        entry["price"] = price_or_none(order.ticket.limit_price);
        entry["stop_price"] = price_or_none(order.ticket.stop_price);
        entry["status"] = constant_name("eOrderStatus", status_constant(order.state));
        entry["filled"] = order.filled;
        entry["manual"] = order.ticket.manual;
        listed.append(entry);
    }
    return listed;
}

nb::list fills() {
    nb::list listed;
    for (const Fill &fill : world().orders.fills()) {
        nb::dict entry;
        entry["id"] = fill.id;
        entry["guid"] = fill.guid;
        entry["price"] = fill.price;
        entry["quantity"] = fill.quantity;
        entry["made_ns"] = fill.made_ns;
        listed.append(entry);
    }
    return listed;
}

} // namespace

void define_order_controls(nb::module_ &m) {
    using pyglue::def_function;
    def_function(m, "set_market", &set_market, nb::arg("symbol"), nb::arg("bid"), nb::arg("ask"),
                 nb::arg("last") = nb::none(), nb::kw_only(), nb::arg("size") = nb::none());
    def_function(m, "manual_order", &manual_order, nb::arg("account_id"), nb::arg("symbol"),
                 nb::arg("side"), nb::arg("quantity"), nb::arg("type") = "market",
                 nb::arg("price") = nb::none(), nb::arg("stop_price") = nb::none());
    def_function(m, "reject_next_order", [] { world().order_faults.reject_next_order = true; });
    def_function(m, "drop_next_order", [] { world().order_faults.drop_next_order = true; });
    def_function(m, "duplicate_next_fill",
                 [] { world().order_faults.duplicate_next_fill = true; });
    def_function(
        m, "next_status",
        [](long raw) { world().order_faults.next_status = raw; }, nb::arg("raw"));
    def_function(
        m, "next_fill_status",
        [](nb::object status) {
            world().order_faults.next_fill_status = status_value(status, "eFillStatus");
        },
        nb::arg("name_or_raw"));
    def_function(m, "orders", &orders);
    def_function(m, "fills", &fills);
}

} // namespace cqgemu
