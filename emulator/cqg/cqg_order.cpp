#include "cqg_order.hpp"
#include "platform/variant.hpp"

#include "cqgcel.hpp"
#include "gateway.hpp"
#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"
#include "platform/com_time.hpp"
#include "platform/interface.hpp"

#include <stdexcept>

namespace cqgemu {

namespace {

// The property ids an order has, in the order the collection lists them.
const char *const PROPERTY_IDS[] = {"opGWStatus", "opGUID", "opEventServerTimestamp",
                                    "opAverageFillPrice", "opFilledQuantity"};

bool is_order_property(long id) {
    for (const char *name : PROPERTY_IDS)
        if (*cqg_constant(name) == id)
            return true;
    return false;
}

} // namespace

long status_constant(OrderState state) {
    switch (state) {
    case OrderState::InTransit:
        return *cqg_constant("osInTransit");
    case OrderState::InOrderBook:
        return *cqg_constant("osInOrderBook");
    case OrderState::Filled:
        return *cqg_constant("osFilled");
    case OrderState::Canceled:
        return *cqg_constant("osCanceled");
    case OrderState::Rejected:
        return *cqg_constant("osRejectGW");
    }
    throw std::logic_error("unknown order state");
}

OrderSnapshot snapshot_of(const EngineOrder &order) {
    OrderSnapshot snapshot;
    snapshot.guid = order.guid;
    snapshot.status = status_constant(order.state);
    snapshot.server_time = gateway().now() + SERVER_LATENCY;
    snapshot.average_fill_price = order.average_fill_price;
    snapshot.filled = order.filled;
    return snapshot;
}

CqgOrder::CqgOrder(std::shared_ptr<ThreadQueue> home, std::weak_ptr<Cqgcel> cel, std::string guid,
                   OrderTicket ticket)
    : EmulatedObject(std::move(home)), cel_(std::move(cel)), guid_(std::move(guid)),
      unplaced_(std::move(ticket)) {}

CqgOrder::CqgOrder(std::shared_ptr<ThreadQueue> home, std::weak_ptr<Cqgcel> cel, std::string guid,
                   std::optional<OrderSnapshot> frozen)
    : EmulatedObject(std::move(home)), cel_(std::move(cel)), guid_(std::move(guid)),
      frozen_(std::move(frozen)) {}

const MemberTable &CqgOrder::members() const {
    using C = CqgOrder;
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<C>(t)
            .property("GUID", &C::guid)
            .property("Manual", &C::manual, &C::set_manual)
            .property("Properties", &C::properties)
            .method("Place", &C::place, {})
            .method("Cancel", &C::cancel);
        return t;
    }();
    return table;
}

std::shared_ptr<Cqgcel> CqgOrder::owner() {
    std::shared_ptr<Cqgcel> cel = cel_.lock();
    if (!cel || cel->disconnected())
        raise_server_error(type_name(), "The order's CQGCEL is no longer available",
                           hresult::DISP_E_EXCEPTION);
    return cel;
}

nb::object CqgOrder::manual() {
    if (unplaced_)
        return nb::bool_(unplaced_->manual);
    const EngineOrder *order = gateway().order_book().find(guid_);
    return nb::bool_(order && order->ticket.manual);
}

void CqgOrder::set_manual(nb::handle value) {
    bool flag = flag_value(value);
    if (!unplaced_)
        raise_server_error(type_name(), "Manual can be set only before the order is placed",
                           hresult::DISP_E_EXCEPTION);
    unplaced_->manual = flag;
}

nb::object CqgOrder::properties() {
    OrderSnapshot snapshot;
    if (frozen_) {
        snapshot = *frozen_;
    } else if (const EngineOrder *order = gateway().order_book().find(guid_)) {
        snapshot = snapshot_of(*order);
    } else {
        snapshot.guid = guid_; // not placed yet
        snapshot.status = *cqg_constant("osNotSent");
        snapshot.server_time = gateway().now();
    }
    return interface_for_this_thread(make_emulated<CqgOrderProperties>(home(), snapshot));
}

nb::object CqgOrder::place(nb::tuple args) {
    require_argument_count(args, 0);
    if (!unplaced_)
        raise_server_error(type_name(), "The order has been placed already",
                           hresult::DISP_E_EXCEPTION);
    std::shared_ptr<Cqgcel> cel = owner();
    OrderTicket ticket = *unplaced_;
    unplaced_.reset();
    cel->adopt_order(std::static_pointer_cast<CqgOrder>(shared_from_this()));
    try {
        gateway().order_desk().place(*cel, guid_, ticket);
    } catch (const std::invalid_argument &refused) {
        unplaced_ = ticket;
        raise_server_error(type_name(), refused.what(), hresult::DISP_E_EXCEPTION);
    }
    return nb::none();
}

nb::object CqgOrder::cancel(nb::tuple args) {
    require_argument_count(args, 0);
    if (unplaced_)
        raise_server_error(type_name(), "The order has not been placed",
                           hresult::DISP_E_EXCEPTION);
    gateway().order_desk().cancel(*owner(), guid_);
    return nb::none();
}

CqgOrderProperties::CqgOrderProperties(std::shared_ptr<ThreadQueue> home, OrderSnapshot snapshot)
    : EmulatedCollection(std::move(home)), snapshot_(std::move(snapshot)) {}

const MemberTable &CqgOrderProperties::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CqgOrderProperties> builder(t);
        add_members(builder, true);
        return t;
    }();
    return table;
}

size_t CqgOrderProperties::count() { return std::size(PROPERTY_IDS); }

std::shared_ptr<EmulatedObject> CqgOrderProperties::item_at(size_t index) {
    return make_emulated<CqgOrderProperty>(home(), *cqg_constant(PROPERTY_IDS[index]), snapshot_);
}

std::shared_ptr<EmulatedObject> CqgOrderProperties::item_with_key(nb::handle key) {
    long id = 0;
    if (!PyLong_Check(key.ptr()) || !nb::try_cast<long>(key, id))
        raise_com_error(hresult::DISP_E_TYPEMISMATCH);
    if (!is_order_property(id))
        return nullptr;
    return make_emulated<CqgOrderProperty>(home(), id, snapshot_);
}

CqgOrderProperty::CqgOrderProperty(std::shared_ptr<ThreadQueue> home, long id,
                                   OrderSnapshot snapshot)
    : EmulatedObject(std::move(home)), id_(id), snapshot_(std::move(snapshot)) {}

const MemberTable &CqgOrderProperty::members() const {
    using C = CqgOrderProperty;
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<C>(t).property("Id", &C::id).property("Value", &C::value);
        return t;
    }();
    return table;
}

nb::object CqgOrderProperty::value() {
    if (id_ == *cqg_constant("opGWStatus"))
        return nb::int_(snapshot_.status);
    if (id_ == *cqg_constant("opGUID"))
        return nb::str(snapshot_.guid.c_str());
    if (id_ == *cqg_constant("opEventServerTimestamp"))
        return com_time_from_wall_clock(snapshot_.server_time);
    if (id_ == *cqg_constant("opAverageFillPrice"))
        return nb::float_(snapshot_.average_fill_price);
    return nb::int_(snapshot_.filled);
}

CqgFill::CqgFill(std::shared_ptr<ThreadQueue> home, Fill fill, long status, double time,
                 std::shared_ptr<CqgOrder> order)
    : EmulatedObject(std::move(home)), fill_(std::move(fill)), status_(status), time_(time),
      order_(std::move(order)) {}

const MemberTable &CqgFill::members() const {
    using C = CqgFill;
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<C>(t)
            .property("Id", &C::id)
            .property("Order", &C::order)
            .property("Timestamp", &C::timestamp)
            .property("Price", &C::price)
            .property("Quantity", &C::quantity)
            .property("Status", &C::status);
        return t;
    }();
    return table;
}

nb::object CqgFill::order() { return interface_for_this_thread(order_); }

nb::object CqgFill::timestamp() { return com_time_from_wall_clock(time_); }

CqgOrders::CqgOrders(std::shared_ptr<ThreadQueue> home, std::weak_ptr<Cqgcel> cel)
    : EmulatedCollection(std::move(home)), cel_(std::move(cel)) {}

const MemberTable &CqgOrders::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CqgOrders> builder(t);
        add_members(builder, true);
        builder.method("ItemByGuid", &CqgOrders::item_by_guid, {required("GUID")});
        return t;
    }();
    return table;
}

void CqgOrders::disconnect() {
    for (auto &[guid, order] : by_guid_)
        order->disconnect();
    EmulatedCollection::disconnect();
}

size_t CqgOrders::count() { return gateway().order_book().orders().size(); }

std::shared_ptr<EmulatedObject> CqgOrders::item_at(size_t index) {
    return order(gateway().order_book().orders().at(index).guid);
}

std::shared_ptr<EmulatedObject> CqgOrders::item_with_key(nb::handle key) {
    if (!PyUnicode_Check(key.ptr()))
        raise_com_error(hresult::DISP_E_TYPEMISMATCH);
    std::string guid = bstr_text(key);
    if (!gateway().order_book().find(guid))
        return nullptr;
    return order(guid);
}

nb::object CqgOrders::item_by_guid(nb::tuple args) { return item(args); }

std::shared_ptr<CqgOrder> CqgOrders::order(const std::string &guid) {
    auto found = by_guid_.find(guid);
    if (found != by_guid_.end())
        return found->second;
    auto made = make_emulated<CqgOrder>(home(), cel_, guid);
    by_guid_.emplace(guid, made);
    return made;
}

void CqgOrders::adopt(const std::shared_ptr<CqgOrder> &order) { by_guid_[order->key()] = order; }

} // namespace cqgemu
