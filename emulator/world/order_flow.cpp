#include "order_flow.hpp"

#include "market_delivery.hpp"
#include "scenario.hpp"
#include "cqg/cqg_order.hpp"
#include "cqg/cqgcel.hpp"
#include "market/cqg_constants.hpp"
#include "market/fill_accounting.hpp"

#include <stdexcept>

namespace cqgemu {

namespace {

// The order as an event reports it now; the next-status fault replaces its status once.
std::shared_ptr<CqgOrder> reported_order(Cqgcel &cel, const EngineOrder &order,
                                         std::optional<long> status = std::nullopt) {
    OrderSnapshot snapshot = snapshot_of(order);
    if (status)
        snapshot.status = *status;
    if (std::optional<long> raw = OrderFaults::take(world().order_faults.next_status))
        snapshot.status = *raw;
    std::weak_ptr<Cqgcel> weak = std::static_pointer_cast<Cqgcel>(cel.shared_from_this());
    return make_emulated<CqgOrder>(cel.home(), weak, order.guid, snapshot);
}

void add_order_changed(Cqgcel &cel, EventBatch &batch, const char *change,
                       const std::shared_ptr<CqgOrder> &order, nb::object fill = nb::none()) {
    batch.add("OrderChanged", nb::make_tuple(*cqg_constant(change), for_home(cel, order),
                                             nb::none(), fill, nb::none()));
}

// One fill: booked to its account, then reported with the order as it now stands and the
// position it moved.
void report_fill(Cqgcel *cel, const Fill &fill, EventBatch &batch) {
    World &w = world();
    const EngineOrder &order = *w.orders.find(fill.guid);
    const OrderTicket &ticket = order.ticket;
    BookedFill booked{ticket.account_id, ticket.instrument,
                      ticket.side == OrderSide::Buy ? fill.quantity : -fill.quantity, fill.price};
    MarketTop top = market_for(ticket.instrument);
    PositionUpdate update = book_fill(w.accounts, booked, (top.bid + top.ask) / 2.0);
    if (!cel)
        return;
    std::shared_ptr<CqgOrder> reported = reported_order(*cel, order);
    long status = *cqg_constant("fsNormal");
    if (std::optional<long> other = OrderFaults::take(w.order_faults.next_fill_status))
        status = *other;
    auto fill_object = make_emulated<CqgFill>(cel->home(), fill, status,
                                              w.clock.now() + SERVER_LATENCY, reported);
    nb::object carried = for_home(*cel, fill_object);
    add_order_changed(*cel, batch, "ctChanged", reported, carried);
    if (OrderFaults::take(w.order_faults.duplicate_next_fill))
        add_order_changed(*cel, batch, "ctChanged", reported, carried);
    cel->add_position_event(ticket.account_id, ticket.instrument, update, batch);
}

void report_fills(Cqgcel *cel, const std::vector<Fill> &fills, EventBatch &batch) {
    for (const Fill &fill : fills)
        report_fill(cel, fill, batch);
}

} // namespace

MarketTop market_for(const std::string &instrument) {
    World &w = world();
    if (std::optional<MarketTop> known = w.orders.market(instrument))
        return *known;
    MarketTop top;
    if (const InstrumentTerms *terms = w.market->market.find(instrument)) {
        const PriceWalk &walk = market_instrument(*terms).walk;
        top.bid = walk.price() - walk.tick_size();
        top.ask = walk.price() + walk.tick_size();
    }
    return top;
}

void place_order(Cqgcel &cel, const std::string &guid, const OrderTicket &ticket) {
    World &w = world();
    MatchingEngine &book = w.orders;
    MatchingEngine::check(ticket);
    // The book meets the instrument's market from its first order on.
    if (!book.market(ticket.instrument))
        book.set_market(ticket.instrument, market_for(ticket.instrument));
    const EngineOrder &accepted = book.accept(guid, ticket);
    if (OrderFaults::take(w.order_faults.drop_next_order))
        return;

    EventBatch batch;
    add_order_changed(cel, batch, "ctAdded", reported_order(cel, accepted));
    bool rejected = OrderFaults::take(w.order_faults.reject_next_order);
    if (rejected || !w.accounts.find(ticket.account_id)) {
        book.reject(guid);
        add_order_changed(cel, batch, "ctChanged", reported_order(cel, *book.find(guid)));
    } else {
        std::vector<Fill> fills = book.open(guid);
        // The order is in the book before anything fills it.
        EngineOrder in_book = *book.find(guid);
        if (!fills.empty()) {
            in_book.state = OrderState::InOrderBook;
            in_book.filled = 0;
            in_book.average_fill_price = 0.0;
        }
        add_order_changed(cel, batch, "ctChanged", reported_order(cel, in_book));
        report_fills(&cel, fills, batch);
    }
    cel.fire(batch);
}

void cancel_order(Cqgcel &cel, const std::string &guid) {
    MatchingEngine &book = world().orders;
    const EngineOrder *order = book.find(guid);
    if (!order || !book.cancel(guid))
        return;
    EventBatch batch;
    add_order_changed(cel, batch, "ctChanged",
                      reported_order(cel, *order, *cqg_constant("osInCancel")));
    add_order_changed(cel, batch, "ctChanged", reported_order(cel, *order));
    cel.fire(batch);
}

void move_market(Cqgcel *cel, const std::string &instrument, const MarketTop &top,
                 EventBatch &batch) {
    World &w = world();
    std::vector<Fill> fills = w.orders.set_market(instrument, top);
    report_fills(cel, fills, batch);
    mark_to_market(w.accounts, instrument, (top.bid + top.ask) / 2.0);
}

namespace {

class FlowDesk final : public OrderDesk {
public:
    void place(Cqgcel &cel, const std::string &guid, const OrderTicket &ticket) override {
        place_order(cel, guid, ticket);
    }
    void cancel(Cqgcel &cel, const std::string &guid) override { cancel_order(cel, guid); }
};

} // namespace

OrderDesk &order_flow_desk() {
    static FlowDesk desk;
    return desk;
}

} // namespace cqgemu
