// The emulated exchange's order book: orders as the gateway took them, matched against each
// instrument's best bid and ask. Plain C++, no Python; CQG's constants are applied by the COM
// objects that report what happens here.
//
// A buy fills at the ask and a sell at the bid. A market order fills at once; a limit order
// rests until the market reaches its price (it then fills at the market, never worse than its
// price); a stop order waits until the market reaches its stop and then trades like a limit
// order at its limit price (at the market when it has none). A market update offers `size`
// lots on each side (0: any amount), shared by the working orders in the order they came, so
// an order gets at most one fill per update and a large one fills in parts.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cqgemu {

enum class OrderKind { Market, Limit, Stop };
enum class OrderSide { Buy, Sell };
enum class OrderState { InTransit, InOrderBook, Filled, Canceled, Rejected };

struct OrderTicket {
    long account_id = 0;
    std::string instrument; // CQG full name
    OrderKind kind = OrderKind::Market;
    OrderSide side = OrderSide::Buy;
    long quantity = 0;
    double limit_price = 0.0; // limit and stop orders; not above zero: none
    double stop_price = 0.0;  // stop orders
    bool manual = false;
};

struct EngineOrder {
    std::string guid;
    OrderTicket ticket;
    OrderState state = OrderState::InTransit;
    bool triggered = false; // a stop order whose stop the market reached
    long filled = 0;
    double average_fill_price = 0.0;

    long remaining() const { return ticket.quantity - filled; }
    bool working() const { return state == OrderState::InOrderBook; }
};

struct Fill {
    std::string id;
    std::string guid;
    double price = 0.0;
    long quantity = 0;
    std::int64_t made_ns = 0; // when it was made, on the clock of time.monotonic_ns()
};

struct MarketTop {
    double bid = 0.0;
    double ask = 0.0;
    long size = 0; // lots offered on each side per update; 0: any amount

    // A best bid (`bid`) or ask quoted at `price` with `lots`: the size offered is the bid's
    // lots, or the smaller of the two sides' once the ask follows.
    void quote(bool bid, double price, double lots);
};

class MatchingEngine {
public:
    // A new order id in CQG's GUID form, unique in this book.
    std::string new_guid();

    // Throws std::invalid_argument for a ticket no exchange takes: a quantity not above zero,
    // a limit order without a price, a stop order without a stop.
    static void check(const OrderTicket &ticket);

    // Takes the order in; it is in transit until opened or rejected. Throws
    // std::invalid_argument for a ticket check() refuses or an id in use.
    const EngineOrder &accept(const std::string &guid, const OrderTicket &ticket);

    void reject(const std::string &guid);

    // Puts an accepted order in the book and matches it against its instrument's market, if
    // one is known; returns its fill, if any.
    std::vector<Fill> open(const std::string &guid);

    // The instrument's market moves: working orders that it reaches fill, in the order they
    // came. Returns the fills in that order.
    std::vector<Fill> set_market(const std::string &instrument, const MarketTop &top);

    // Takes a working order out of the book. False (nothing changes) for an order that is no
    // longer working or was never opened.
    bool cancel(const std::string &guid);

    const EngineOrder *find(const std::string &guid) const;
    std::optional<MarketTop> market(const std::string &instrument) const;
    bool has_working_orders(const std::string &instrument) const;

    const std::vector<EngineOrder> &orders() const { return orders_; } // in the order they came
    const std::vector<Fill> &fills() const { return fills_; }          // every fill, once

private:
    EngineOrder &existing(const std::string &guid);
    // One fill of `order` against `top`, taking from `offered` (0 in `top.size`: unlimited).
    std::optional<Fill> match(EngineOrder &order, const MarketTop &top, long &offered);

    std::vector<EngineOrder> orders_;
    std::map<std::string, size_t> index_by_guid_;
    std::map<std::string, MarketTop> markets_;
    std::vector<Fill> fills_;
    std::uint64_t next_id_ = 1;
};

} // namespace cqgemu
