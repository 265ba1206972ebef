// CQGCEL's order side: CreateOrder, with its arguments checked as the server checks them, and
// the `Orders` collection.
#include "cqgcel.hpp"

#include "cqg_account.hpp"
#include "cqg_instrument.hpp"
#include "cqg_order.hpp"
#include "gateway.hpp"
#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"
#include "platform/interface.hpp"

#include <cmath>
#include <stdexcept>

namespace cqgemu {

namespace {

[[noreturn]] void refuse(const std::string &description) {
    raise_server_error("CQG.CQGCEL.4", description, hresult::DISP_E_EXCEPTION);
}

// A number argument: an int or a float (VT_I4 / VT_R8); a type mismatch otherwise.
double number_at(nb::handle value) {
    if (PyBool_Check(value.ptr()) || !(PyLong_Check(value.ptr()) || PyFloat_Check(value.ptr())))
        raise_com_error(hresult::DISP_E_TYPEMISMATCH);
    double number = nb::cast<double>(value);
    if (!std::isfinite(number))
        refuse("The price or quantity is not a finite number");
    return number;
}

OrderKind order_kind(nb::handle value) {
    long type = integer_value(value);
    if (type == *cqg_constant("otMarket"))
        return OrderKind::Market;
    if (type == *cqg_constant("otLimit"))
        return OrderKind::Limit;
    if (type == *cqg_constant("otStop"))
        return OrderKind::Stop;
    refuse("Unsupported order type " + std::to_string(type));
}

OrderSide order_side(nb::handle value) {
    long side = integer_value(value);
    if (side == *cqg_constant("osdBuy"))
        return OrderSide::Buy;
    if (side == *cqg_constant("osdSell"))
        return OrderSide::Sell;
    refuse("Unsupported order side " + std::to_string(side));
}

long whole_quantity(nb::handle value) {
    double quantity = number_at(value);
    if (quantity != std::floor(quantity) || std::fabs(quantity) > 1e9)
        refuse("The order quantity must be a whole number of lots");
    return static_cast<long>(quantity);
}

} // namespace

// CreateOrder(type, instrument, account, quantity, side[, limit price[, stop price]]).
nb::object Cqgcel::create_order(nb::tuple args) {
    if (args.size() < 5 || args.size() > 7)
        raise_com_error(hresult::DISP_E_BADPARAMCOUNT);
    const size_t count = args.size();
    OrderTicket ticket;
    ticket.kind = argument_at(0, count, [&] { return order_kind(args[0]); });
    auto instrument =
        argument_at(1, count, [&] { return emulated_argument<CqgInstrument>(args[1]); });
    // An order without an account is made; the gateway rejects it when it is placed.
    auto account = args[2].is_none() ? nullptr : argument_at(2, count, [&] {
        return emulated_argument<CqgAccount>(args[2]);
    });
    ticket.quantity = argument_at(3, count, [&] { return whole_quantity(args[3]); });
    ticket.side = argument_at(4, count, [&] { return order_side(args[4]); });
    if (count > 5 && !args[5].is_none())
        ticket.limit_price = argument_at(5, count, [&] { return number_at(args[5]); });
    if (count > 6 && !args[6].is_none())
        ticket.stop_price = argument_at(6, count, [&] { return number_at(args[6]); });
    ticket.instrument = instrument->key();
    ticket.account_id = account ? integer_value(account->gw_account_id()) : 0;
    try {
        MatchingEngine::check(ticket);
    } catch (const std::invalid_argument &refused) {
        refuse(refused.what());
    }
    record_call("CreateOrder", args);
    std::weak_ptr<Cqgcel> self = std::static_pointer_cast<Cqgcel>(shared_from_this());
    auto order = make_emulated<CqgOrder>(home(), self, gateway().new_order_guid(), ticket);
    return interface_for_this_thread(order);
}

nb::object Cqgcel::orders() {
    if (!orders_)
        orders_ = make_emulated<CqgOrders>(
            home(), std::static_pointer_cast<Cqgcel>(shared_from_this()));
    return interface_for_this_thread(orders_);
}

void Cqgcel::adopt_order(const std::shared_ptr<CqgOrder> &order) {
    orders();
    orders_->adopt(order);
}

void Cqgcel::disconnect_orders() {
    if (orders_)
        orders_->disconnect();
}

std::shared_ptr<CqgOrder> Cqgcel::order_object(const std::string &guid) {
    orders();
    return orders_->order(guid);
}

} // namespace cqgemu
