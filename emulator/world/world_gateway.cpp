#include "world_gateway.hpp"

#include "market_delivery.hpp"
#include "order_flow.hpp"
#include "scenario.hpp"

namespace cqgemu {

namespace {

class WorldGateway final : public Gateway {
public:
    double now() const override { return world().clock.now(); }
    void schedule_after(double delay, std::function<void()> action) override {
        world().clock.schedule_after(delay, std::move(action));
    }

    AccountBook &accounts() override { return world().accounts; }
    const MatchingEngine &order_book() const override { return world().orders; }
    std::string new_order_guid() override { return world().orders.new_guid(); }
    OrderDesk &order_desk() override { return order_flow_desk(); }

    MarketState &market() override { return *world().market; }
    MarketInstrument &market_instrument(const InstrumentTerms &terms) override {
        return cqgemu::market_instrument(terms);
    }
};

} // namespace

Gateway &world_gateway() {
    static WorldGateway gateway;
    return gateway;
}

} // namespace cqgemu
