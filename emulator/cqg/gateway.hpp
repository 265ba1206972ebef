// The server side of every CQGCEL: the gateway's time, its accounts, its market and its order
// desk. The emulated world implements it and connects it when the module loads; the CQG objects
// reach the server only through it, as a real CQGCEL reaches its gateway only over the wire.
// GIL held.
#pragma once

#include "market/account_book.hpp"
#include "market/market_state.hpp"
#include "market/matching_engine.hpp"

#include <functional>
#include <string>

namespace cqgemu {

class Cqgcel;

// Where a placed order goes, and a cancel: the gateway's book, whose answers reach `cel`'s
// sinks as OrderChanged (and AccountChanged for a fill).
class OrderDesk {
public:
    // Takes the ticket into the book under `guid`. Throws std::invalid_argument for a ticket the
    // book refuses.
    virtual void place(Cqgcel &cel, const std::string &guid, const OrderTicket &ticket) = 0;
    // A working order goes to "in cancel", then "canceled"; any other is left as it is.
    virtual void cancel(Cqgcel &cel, const std::string &guid) = 0;

protected:
    ~OrderDesk() = default;
};

class Gateway {
public:
    // The server's time: the emulated clock, in seconds since the epoch.
    virtual double now() const = 0;
    // Runs `action` once the clock has moved on by `delay` seconds.
    virtual void schedule_after(double delay, std::function<void()> action) = 0;

    // The accounts, which a CQGAccount's property puts change too.
    virtual AccountBook &accounts() = 0;
    virtual const MatchingEngine &order_book() const = 0;
    virtual std::string new_order_guid() = 0;
    virtual OrderDesk &order_desk() = 0;

    virtual MarketState &market() = 0;
    // The instrument's market, made on first use; from then on its bars close at every minute
    // the clock crosses.
    virtual MarketInstrument &market_instrument(const InstrumentTerms &terms) = 0;

protected:
    ~Gateway() = default;
};

// The gateway the world connected; std::logic_error before it did.
Gateway &gateway();
void connect_gateway(Gateway &gateway);

// The account as the gateway's book holds it; the server's error, naming the CQG type asking,
// once the book no longer has it.
AccountState &account_state(long id, const char *type_name);

} // namespace cqgemu
