#include "matching_engine.hpp"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace cqgemu {

namespace {

bool has_price(double price) { return price > 0.0; }

// Whether a stop order's stop has been reached: a buy stop by an ask at or above it, a sell
// stop by a bid at or below it.
bool stop_reached(const OrderTicket &ticket, const MarketTop &top) {
    return ticket.side == OrderSide::Buy ? top.ask >= ticket.stop_price
                                         : top.bid <= ticket.stop_price;
}

// Whether the market is at the limit price or better for the order.
bool limit_reached(const OrderTicket &ticket, const MarketTop &top) {
    if (!has_price(ticket.limit_price))
        return true;
    return ticket.side == OrderSide::Buy ? top.ask <= ticket.limit_price
                                         : top.bid >= ticket.limit_price;
}

} // namespace

std::string MatchingEngine::new_guid() {
    std::uint64_t n = next_id_++;
    char text[48];
    std::snprintf(text, sizeof text, "{%08llX-0000-4000-8000-%012llX}",
                  static_cast<unsigned long long>(n * 2654435761ULL & 0xFFFFFFFFULL),
                  static_cast<unsigned long long>(n));
    return text;
}

void MatchingEngine::check(const OrderTicket &ticket) {
    if (ticket.quantity <= 0)
        throw std::invalid_argument("The order quantity must be above zero");
    if (ticket.kind == OrderKind::Limit && !has_price(ticket.limit_price))
        throw std::invalid_argument("A limit order needs a limit price above zero");
    if (ticket.kind == OrderKind::Stop && !has_price(ticket.stop_price))
        throw std::invalid_argument("A stop order needs a stop price above zero");
}

const EngineOrder &MatchingEngine::accept(const std::string &guid, const OrderTicket &ticket) {
    check(ticket);
    if (index_by_guid_.count(guid))
        throw std::invalid_argument("The order id " + guid + " is in use");
    EngineOrder order;
    order.guid = guid;
    order.ticket = ticket;
    index_by_guid_.emplace(guid, orders_.size());
    orders_.push_back(std::move(order));
    return orders_.back();
}

EngineOrder &MatchingEngine::existing(const std::string &guid) {
    auto found = index_by_guid_.find(guid);
    if (found == index_by_guid_.end())
        throw std::out_of_range("no order " + guid);
    return orders_[found->second];
}

const EngineOrder *MatchingEngine::find(const std::string &guid) const {
    auto found = index_by_guid_.find(guid);
    return found == index_by_guid_.end() ? nullptr : &orders_[found->second];
}

void MatchingEngine::reject(const std::string &guid) {
    EngineOrder &order = existing(guid);
    if (order.state == OrderState::InTransit)
        order.state = OrderState::Rejected;
}

std::vector<Fill> MatchingEngine::open(const std::string &guid) {
    EngineOrder &order = existing(guid);
    std::vector<Fill> made;
    if (order.state != OrderState::InTransit)
        return made;
    order.state = OrderState::InOrderBook;
    auto top = markets_.find(order.ticket.instrument);
    if (top == markets_.end())
        return made;
    long offered = top->second.size;
    if (std::optional<Fill> fill = match(order, top->second, offered))
        made.push_back(*fill);
    return made;
}

std::vector<Fill> MatchingEngine::set_market(const std::string &instrument, const MarketTop &top) {
    markets_[instrument] = top;
    std::vector<Fill> made;
    long bid_offered = top.size, ask_offered = top.size;
    for (EngineOrder &order : orders_) {
        if (!order.working() || order.ticket.instrument != instrument)
            continue;
        long &offered = order.ticket.side == OrderSide::Buy ? ask_offered : bid_offered;
        if (top.size > 0 && offered <= 0)
            continue;
        if (std::optional<Fill> fill = match(order, top, offered))
            made.push_back(*fill);
    }
    return made;
}

std::optional<Fill> MatchingEngine::match(EngineOrder &order, const MarketTop &top,
                                          long &offered) {
    const OrderTicket &ticket = order.ticket;
    if (ticket.kind == OrderKind::Stop && !order.triggered) {
        if (!stop_reached(ticket, top))
            return std::nullopt;
        order.triggered = true;
    }
    if (ticket.kind != OrderKind::Market && !limit_reached(ticket, top))
        return std::nullopt;
    double price = ticket.side == OrderSide::Buy ? top.ask : top.bid;
    if (!has_price(price))
        return std::nullopt; // no one on that side
    long quantity = order.remaining();
    if (top.size > 0)
        quantity = std::min(quantity, offered);
    if (quantity <= 0)
        return std::nullopt;
    if (top.size > 0)
        offered -= quantity;

    double traded = order.average_fill_price * static_cast<double>(order.filled);
    order.filled += quantity;
    order.average_fill_price = (traded + price * static_cast<double>(quantity)) /
                               static_cast<double>(order.filled);
    if (order.remaining() == 0)
        order.state = OrderState::Filled;

    Fill fill;
    fill.id = "FILL-" + std::to_string(fills_.size() + 1);
    fill.guid = order.guid;
    fill.price = price;
    fill.quantity = quantity;
    fill.made_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::steady_clock::now().time_since_epoch()).count();
    fills_.push_back(fill);
    return fill;
}

bool MatchingEngine::cancel(const std::string &guid) {
    EngineOrder &order = existing(guid);
    if (!order.working())
        return false;
    order.state = OrderState::Canceled;
    return true;
}

std::optional<MarketTop> MatchingEngine::market(const std::string &instrument) const {
    auto found = markets_.find(instrument);
    if (found == markets_.end())
        return std::nullopt;
    return found->second;
}

bool MatchingEngine::has_working_orders(const std::string &instrument) const {
    for (const EngineOrder &order : orders_)
        if (order.working() && order.ticket.instrument == instrument)
            return true;
    return false;
}

void MarketTop::quote(bool is_bid, double price, double lots) {
    long quoted = static_cast<long>(lots);
    if (is_bid) {
        bid = price;
        size = quoted;
    } else {
        ask = price;
        size = std::min(size > 0 ? size : quoted, quoted);
    }
}

} // namespace cqgemu
