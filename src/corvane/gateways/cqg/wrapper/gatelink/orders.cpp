#include "orders.hpp"

#include <optional>
#include <stdexcept>

#include "com_platform.hpp"
#include "cqg_time.hpp"
#include "errors.hpp"
#include "safe_access.hpp"
#include "truth.hpp"
#include "type_check.hpp"

namespace corvane::gatelink {

using pyglue::call_method;
using cqgglue::com_constant;
using pyglue::equals;
using pyglue::read;
using pyglue::write;

namespace {

// CQG's order statuses and the framework's OrderStatus member of each, in the order they
// are compared.
struct StatusMapping {
    const char *cqg_status;
    const char *order_status;
};

const StatusMapping kStatusMappings[] = {
    {"osActiveAt", "UNKNOWN"},   {"osContingent", "UNKNOWN"},  {"osInCancel", "UNKNOWN"},
    {"osInClient", "UNKNOWN"},   {"osInModify", "UNKNOWN"},    {"osInTransit", "UNKNOWN"},
    {"osNotSent", "UNKNOWN"},    {"osParked", "UNKNOWN"},      {"osInOrderBook", "SUBMITTED"},
    {"osFilled", "FILLED"},      {"osBusted", "FILLED"},       {"osCanceled", "CANCELLED"},
    {"osRejectFCM", "FAILED"},   {"osRejectGW", "FAILED"},     {"osDisconnected", "FAILED"},
    {"osExpired", "FAILED"},     {"osInTransitTimeout", "FAILED"},
};

// The OrderStatus member of a CQG status, or nothing for a status outside the table.
std::optional<nb::object> map_order_status(ScopeRef scope, nb::handle status) {
    for (const StatusMapping &mapping : kStatusMappings)
        if (equals(status, com_constant(mapping.cqg_status)))
            return read(scope.global("OrderStatus"), mapping.order_status);
    return std::nullopt;
}

[[noreturn]] void raise_invalid_status(nb::handle status) {
    pyglue::raise_value_error(
        nb::str("Order status {} is not valid to be handled by corvane.").format(status));
}

enum class OrderKind { Market, Limit, Stop };

struct CqgOrderType {
    OrderKind kind;
    nb::object constant;
};

CqgOrderType cqg_order_type(ScopeRef scope, nb::handle order_type) {
    nb::object OrderType = scope.global("OrderType");
    if (equals(order_type, read(OrderType, "LIMIT")))
        return {OrderKind::Limit, com_constant("otLimit")};
    if (equals(order_type, read(OrderType, "MARKET")))
        return {OrderKind::Market, com_constant("otMarket")};
    if (equals(order_type, read(OrderType, "STOP")))
        return {OrderKind::Stop, com_constant("otStop")};
    pyglue::raise_value_error(nb::str("Unsupported order type {}").format(order_type));
}

nb::object cqg_order_side(ScopeRef scope, nb::handle direction) {
    nb::object Direction = scope.global("Direction");
    if (equals(direction, read(Direction, "LONG")))
        return com_constant("osdBuy");
    if (equals(direction, read(Direction, "SHORT")))
        return com_constant("osdSell");
    pyglue::raise_value_error(nb::str("Unsupported order side {}").format(direction));
}

// CreateOrder with the arguments its type takes: a stop order carries its limit price too.
nb::object create_cqg_order(nb::handle self, const CqgOrderType &type, nb::handle instrument,
                            nb::handle account, nb::handle side, nb::handle order) {
    nb::object create = read(Scope::cqg_cel(self), "CreateOrder");
    nb::object quantity = read(order, "quantity");
    switch (type.kind) {
    case OrderKind::Market:
        return create(type.constant, instrument, account, quantity, side);
    case OrderKind::Limit: {
        nb::object price = read(order, "price");
        return create(type.constant, instrument, account, quantity, side, price);
    }
    case OrderKind::Stop: {
        nb::object price = read(order, "price");
        nb::object stop_price = read(order, "stop_price");
        return create(type.constant, instrument, account, quantity, side, price, stop_price);
    }
    }
    throw std::logic_error("unknown order kind");
}

// The hand-over to a waiting place_order: the first order added while the event is clear is
// the one just placed. The id is stored before the event is set, so the waiter always finds
// it. False for an order added while the event is set: it did not come from place_order.
bool take_as_placed(ScopeRef scope, nb::handle self, nb::handle order_id) {
    nb::object placed = read(self, "eventOrderPlaced");
    if (pyglue::is_true(call_method(placed, "is_set"))) {
        nb::object print = scope.global("print");
        print(nb::str("orderid {} is not placed by algo").format(order_id));
        return false;
    }
    write(self, "order_id", order_id);
    call_method(placed, "set");
    return true;
}

// Ids of the latest deals handed to the framework, oldest first: a fill reported twice is
// one deal. A repeat follows its first report closely, so a long session keeps only the
// latest kForwardedDealsKept. Made at the first deal, on the CEL thread, which runs one
// handler at a time.
constexpr Py_ssize_t kForwardedDealsKept = 10000;

nb::dict forwarded_deal_ids(nb::handle self) {
    nb::object seen = nb::getattr(self, "_forwarded_deal_ids", nb::none());
    if (seen.is_none() || !PyDict_CheckExact(seen.ptr())) {
        seen = nb::dict();
        write(self, "_forwarded_deal_ids", seen);
    }
    return nb::borrow<nb::dict>(seen);
}

void remember_forwarded(nb::dict forwarded, nb::handle deal_id) {
    if (PyDict_SetItem(forwarded.ptr(), deal_id.ptr(), Py_None) != 0)
        throw nb::python_error();
    if (PyDict_GET_SIZE(forwarded.ptr()) <= kForwardedDealsKept)
        return;
    Py_ssize_t position = 0;
    PyObject *oldest = nullptr, *value = nullptr;
    if (PyDict_Next(forwarded.ptr(), &position, &oldest, &value)) {
        nb::object key = nb::borrow(oldest); // held while it leaves the dict
        if (PyDict_DelItem(forwarded.ptr(), key.ptr()) != 0)
            throw nb::python_error();
    }
}

// A normal fill becomes a deal for the framework; a fill of any other status is dropped.
void forward_fill(nb::handle self, nb::handle cqgFill) {
    if (!pyglue::is_true(cqgFill))
        return;
    nb::object fill = cqgglue::dispatch(cqgFill);
    nb::object fill_status = read(fill, "Status");
    if (!equals(fill_status, com_constant("fsNormal")))
        return;
    nb::object updated_time = cqgglue::naive_whole_seconds(read(fill, "Timestamp"));
    nb::object filled_avg_price = read(fill, "Price");
    nb::object filled_quantity = read(fill, "Quantity");
    nb::object order_id = read(read(fill, "Order"), "GUID");
    nb::object deal_id = read(fill, "Id");

    nb::dict forwarded = forwarded_deal_ids(self);
    if (forwarded.contains(deal_id))
        return;
    nb::dict deal;
    deal["deal_id"] = deal_id;
    deal["order_id"] = order_id;
    deal["updated_time"] = updated_time;
    deal["filled_avg_price"] = filled_avg_price;
    deal["filled_quantity"] = filled_quantity;
    nb::object gateway = read(self, "gateway");
    call_method(gateway, "process_deal", deal);
    // Recorded once the framework has it, so a failed hand-over is retried by a repeat.
    remember_forwarded(forwarded, deal_id);
}

} // namespace

nb::object place_order(ScopeRef scope, nb::handle self, nb::handle order) {
    nb::object gateway = read(self, "gateway");
    nb::object cqg_symbol =
        call_method(gateway, "get_cqg_symbol_from_cv_security", read(order, "security"));
    // Through the instance, so a subclass's look-up is the one used.
    nb::object instrument = call_method(self, "get_instrument_from_cqg_symbol", cqg_symbol);
    if (instrument.is_none())
        pyglue::raise_value_error(
            nb::str("cqg_symbol {} has not been subscribed.").format(cqg_symbol));

    CqgOrderType type = cqg_order_type(scope, read(order, "order_type"));
    nb::object side = cqg_order_side(scope, read(order, "direction"));
    // A missing account goes on to CreateOrder as None; CQG rejects the order.
    nb::object followed = read(self, "GWAccountID");
    nb::object find_account = read(self, "get_account_from_gwaccountid");
    nb::object account = find_account(nb::arg("GWAccountID") = followed);

    nb::object created = create_cqg_order(self, type, instrument, account, side, order);
    nb::object placed = cqgglue::dispatch(created);
    write(placed, "Manual", nb::int_(0));

    // Cleared before Place(): the order's "added" may arrive inside that very call.
    nb::object event = read(self, "eventOrderPlaced");
    call_method(event, "clear");
    call_method(placed, "Place");
    scope.wait_or_fail(event, nb::str("Order placing timeout!\n{} ").format(order));

    nb::object orderid = read(self, "order_id");
    write(self, "order_id", nb::none());
    if (orderid.is_none())
        pyglue::raise_value_error(nb::str("Order id can not be obtained!\n{}").format(order));
    return orderid;
}

// Whether CQG cancels the order is learnt from later order changes.
void cancel_order(ScopeRef, nb::handle self, nb::handle orderid) {
    pyglue::require_exact_type(orderid, &PyUnicode_Type, "orderid");
    nb::object orders = read(Scope::cqg_cel(self), "Orders");
    nb::object cqg_order = call_method(orders, "ItemByGuid", orderid);
    call_method(cqg_order, "Cancel");
}

// A status outside the table, or a process_order that raises, still ends the event with
// that error, but only once the order's hand-over and its fill are done: neither a live
// order nor a fill is lost to it.
void on_order_changed(ScopeRef scope, nb::handle self, nb::handle changeType,
                      nb::handle cqgOrder, nb::handle, nb::handle cqgFill,
                      nb::handle cqgError) {
    if (!cqgError.is_none())
        return;

    nb::object dispatched_order = cqgglue::dispatch(cqgOrder);
    nb::object properties = cqgglue::dispatch(read(dispatched_order, "Properties"));
    // The collection's default member gives the property of an id.
    auto property = [&](const char *id) { return properties(com_constant(id)); };
    nb::object gw_status = property("opGWStatus");
    nb::object guid = property("opGUID");
    nb::object server_time = read(property("opEventServerTimestamp"), "Value");
    nb::object updated_time = cqgglue::naive_whole_seconds(server_time);
    nb::object filled_avg_price = read(property("opAverageFillPrice"), "Value");
    nb::object filled_quantity = read(property("opFilledQuantity"), "Value");
    nb::object raw_status = read(gw_status, "Value");
    std::optional<nb::object> status = map_order_status(scope, raw_status);
    nb::object order_id = read(guid, "Value");

    if (equals(changeType, com_constant("ctAdded"))) {
        // An added order never reaches process_order; one not placed here is ignored whole.
        if (!take_as_placed(scope, self, order_id)) {
            if (!status)
                raise_invalid_status(raw_status);
            return;
        }
    }
    nb::object first_error;
    if (status && (equals(changeType, com_constant("ctChanged")) ||
                   equals(changeType, com_constant("ctRemoved")))) {
        nb::dict update;
        update["order_id"] = order_id;
        update["updated_time"] = updated_time;
        update["filled_avg_price"] = filled_avg_price;
        update["filled_quantity"] = filled_quantity;
        update["status"] = *status;
        try {
            nb::object gateway = read(self, "gateway");
            call_method(gateway, "process_order", update);
        } catch (nb::python_error &error) {
            first_error = pyglue::take_exception(error);
        }
    }
    if (!first_error.is_valid()) {
        forward_fill(self, cqgFill);
    } else {
        // The fill goes over all the same; the order's error is the one raised, and one
        // of the fill's own is printed rather than lost.
        try {
            forward_fill(self, cqgFill);
        } catch (nb::python_error &fill_error) {
            pyglue::print_exception(pyglue::take_exception(fill_error));
        }
        pyglue::raise_again(first_error);
    }
    if (!status)
        raise_invalid_status(raw_status);
}

nb::object convert_orderstatus_cqg2cv(ScopeRef scope, nb::handle status) {
    std::optional<nb::object> mapped = map_order_status(scope, status);
    if (!mapped)
        raise_invalid_status(status);
    return *mapped;
}

} // namespace corvane::gatelink
