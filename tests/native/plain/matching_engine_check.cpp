// The emulated exchange's matching and the account book's following of fills, on their own.
#include "cqg_constants.hpp"
#include "fill_accounting.hpp"
#include "matching_engine.hpp"
#include "plain_check.hpp"

#include <cmath>
#include <stdexcept>
#include <string>

using namespace cqgemu;

namespace {

const std::string EP = "F.US.EPZ26";

OrderTicket ticket(OrderKind kind, OrderSide side, long quantity, double limit = 0.0,
                   double stop = 0.0) {
    OrderTicket t;
    t.account_id = 1;
    t.instrument = EP;
    t.kind = kind;
    t.side = side;
    t.quantity = quantity;
    t.limit_price = limit;
    t.stop_price = stop;
    return t;
}

std::string placed(MatchingEngine &book, const OrderTicket &t) {
    std::string guid = book.new_guid();
    book.accept(guid, t);
    return guid;
}

bool near(double a, double b) { return std::fabs(a - b) < 1e-9; }

bool refused(const OrderTicket &t) {
    try {
        MatchingEngine::check(t);
    } catch (const std::invalid_argument &) {
        return true;
    }
    return false;
}

void market_and_limit_orders() {
    MatchingEngine book;
    book.set_market(EP, MarketTop{100.0, 101.0, 0});
    std::string buy = placed(book, ticket(OrderKind::Market, OrderSide::Buy, 3));
    CHECK(book.find(buy)->state == OrderState::InTransit);
    auto fills = book.open(buy);
    CHECK(fills.size() == 1 && near(fills[0].price, 101.0) && fills[0].quantity == 3);
    CHECK(book.find(buy)->state == OrderState::Filled);

    // A sell limit above the bid rests; a bid at its price fills it at the market.
    std::string sell = placed(book, ticket(OrderKind::Limit, OrderSide::Sell, 2, 102.0));
    CHECK(book.open(sell).empty() && book.find(sell)->working());
    CHECK(book.set_market(EP, MarketTop{101.5, 102.0, 0}).empty());
    fills = book.set_market(EP, MarketTop{102.5, 103.0, 0});
    CHECK(fills.size() == 1 && near(fills[0].price, 102.5) && fills[0].guid == sell);
    CHECK(book.fills().size() == 2 && book.fills()[0].id != book.fills()[1].id);
}

void partial_fills_in_time_priority() {
    MatchingEngine book;
    book.set_market(EP, MarketTop{99.0, 100.0, 0});
    std::string first = placed(book, ticket(OrderKind::Limit, OrderSide::Buy, 5, 98.0));
    std::string second = placed(book, ticket(OrderKind::Limit, OrderSide::Buy, 2, 98.0));
    book.open(first);
    book.open(second);
    // Four lots offered: the first order takes them all and stays working.
    auto fills = book.set_market(EP, MarketTop{97.0, 98.0, 4});
    CHECK(fills.size() == 1 && fills[0].guid == first && fills[0].quantity == 4);
    CHECK(book.find(first)->working() && book.find(first)->filled == 4);
    fills = book.set_market(EP, MarketTop{96.0, 97.0, 4});
    CHECK(fills.size() == 2 && fills[0].quantity == 1 && fills[1].quantity == 2);
    CHECK(book.find(first)->state == OrderState::Filled);
    CHECK(near(book.find(first)->average_fill_price, (4 * 98.0 + 97.0) / 5));
}

void stop_orders_trigger_then_trade_at_their_limit() {
    MatchingEngine book;
    book.set_market(EP, MarketTop{99.0, 100.0, 0});
    std::string stop = placed(book, ticket(OrderKind::Stop, OrderSide::Buy, 1, 103.0, 102.0));
    CHECK(book.open(stop).empty());
    CHECK(book.set_market(EP, MarketTop{100.0, 101.0, 0}).empty()); // stop not reached
    // The ask jumps past the limit: triggered, but not filled above the limit.
    CHECK(book.set_market(EP, MarketTop{103.5, 104.0, 0}).empty());
    CHECK(book.find(stop)->triggered);
    auto fills = book.set_market(EP, MarketTop{102.0, 102.5, 0});
    CHECK(fills.size() == 1 && near(fills[0].price, 102.5));

    std::string sell_stop = placed(book, ticket(OrderKind::Stop, OrderSide::Sell, 1, 0.0, 95.0));
    book.open(sell_stop);
    fills = book.set_market(EP, MarketTop{94.0, 94.5, 0}); // no limit: at the market
    CHECK(fills.size() == 1 && near(fills[0].price, 94.0));
}

void cancels_and_refusals() {
    MatchingEngine book;
    std::string resting = placed(book, ticket(OrderKind::Limit, OrderSide::Buy, 1, 50.0));
    CHECK(!book.cancel(resting)); // in transit: not working yet
    book.open(resting);            // no market known: it only rests
    CHECK(book.cancel(resting) && book.find(resting)->state == OrderState::Canceled);
    CHECK(!book.cancel(resting));
    CHECK(book.set_market(EP, MarketTop{40.0, 45.0, 0}).empty()); // cancelled stays out

    std::string rejected = placed(book, ticket(OrderKind::Market, OrderSide::Buy, 1));
    book.reject(rejected);
    CHECK(book.open(rejected).empty() && book.find(rejected)->state == OrderState::Rejected);

    CHECK(refused(ticket(OrderKind::Market, OrderSide::Buy, 0)));
    CHECK(refused(ticket(OrderKind::Limit, OrderSide::Buy, 1)));
    CHECK(refused(ticket(OrderKind::Stop, OrderSide::Buy, 1, 10.0)));
    bool reused = false;
    try {
        book.accept(rejected, ticket(OrderKind::Market, OrderSide::Buy, 1));
    } catch (const std::invalid_argument &) {
        reused = true;
    }
    CHECK(reused);
}

void fills_move_positions_and_summary() {
    AccountBook book({AccountBook::with_default_summary(1, "A")});
    const long buy = *cqg_constant("osdBuy"), sell = *cqg_constant("osdSell");
    CHECK(book_fill(book, {1, EP, 2, 100.0}, 100.0) == PositionUpdate::Added);
    CHECK(book_fill(book, {1, EP, 2, 110.0}, 110.0) == PositionUpdate::Changed);
    const PositionState *held = book.find_position(1, EP);
    CHECK(held->quantity == 4 && held->side == buy && near(held->average_price, 105.0));
    CHECK(near(held->ote, 20.0));

    // Selling six: four close at a profit of 15 each, two open short at the fill.
    book_fill(book, {1, EP, -6, 120.0}, 120.0);
    CHECK(held->quantity == -2 && held->side == sell && near(held->average_price, 120.0));
    CHECK(near(held->profit_loss, 60.0) && near(held->ote, 0.0));
    const AccountState &account = *book.find(1);
    CHECK(near(account.summary.at("ProfitLoss")[0], 60.0));
    CHECK(near(account.summary.at("Balance")[0], 100060.0));

    mark_to_market(book, EP, 125.0); // short two, the market up five
    CHECK(near(held->ote, -10.0) && near(account.summary.at("UPL")[0], -10.0));
    CHECK(near(account.summary.at("NLV")[0], 100050.0));

    book_fill(book, {1, EP, 2, 118.0}, 118.0); // flat: the short made 4
    CHECK(held->quantity == 0 && held->side == sell && near(held->profit_loss, 64.0));
    CHECK(near(account.summary.at("UPL")[0], 0.0));

    bool unknown = false;
    try {
        book_fill(book, {9, EP, 1, 1.0}, 1.0);
    } catch (const std::out_of_range &) {
        unknown = true;
    }
    CHECK(unknown);
}

} // namespace

int main() {
    market_and_limit_orders();
    partial_fills_in_time_priority();
    stop_orders_trigger_then_trade_at_their_limit();
    cancels_and_refusals();
    fills_move_positions_and_summary();
    return plain_check_result();
}
