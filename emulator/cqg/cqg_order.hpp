// CQGOrder, one order: made by CreateOrder and placed by Place(), or handed out by `Orders`
// and by OrderChanged events. An order from an event shows the order as it was when the event
// happened; any other reads the book on every read. CQGOrderProperties is its `Properties`
// collection, whose default member gives the property of an id (CQGOrderProperty, with
// `Value`); CQGFill is one fill; CQGOrders is CQGCEL's `Orders`.
#pragma once

#include "collection.hpp"
#include "market/matching_engine.hpp"

#include <map>
#include <optional>
#include <string>

namespace cqgemu {

class Cqgcel;

// What an order's properties say at one moment.
struct OrderSnapshot {
    std::string guid;
    long status = 0; // an os... constant, or any raw value a test asked for
    double server_time = 0.0;
    double average_fill_price = 0.0;
    long filled = 0;
};

// The gateway's time stamps lag the clock by its processing time, so they have a sub-second
// part even on a clock that moves by whole seconds.
constexpr double SERVER_LATENCY = 0.125;

long status_constant(OrderState state);

// The order as the book holds it now, stamped with the server's time.
OrderSnapshot snapshot_of(const EngineOrder &order);

class CqgOrder : public EmulatedObject {
public:
    // An order made by CreateOrder, not yet placed.
    CqgOrder(std::shared_ptr<ThreadQueue> home, std::weak_ptr<Cqgcel> cel, std::string guid,
             OrderTicket ticket);
    // An order in the book; with `frozen`, as an event reports it.
    CqgOrder(std::shared_ptr<ThreadQueue> home, std::weak_ptr<Cqgcel> cel, std::string guid,
             std::optional<OrderSnapshot> frozen = std::nullopt);

    const char *type_name() const override { return "CQGOrder"; }
    const MemberTable &members() const override;

    nb::object guid() { return nb::str(guid_.c_str()); }
    nb::object manual();
    void set_manual(nb::handle value);
    nb::object properties();
    nb::object place(nb::tuple args);
    nb::object cancel(nb::tuple args);

    const std::string &key() const { return guid_; }

private:
    std::shared_ptr<Cqgcel> owner();

    std::weak_ptr<Cqgcel> cel_;
    std::string guid_;
    std::optional<OrderTicket> unplaced_;
    std::optional<OrderSnapshot> frozen_;
};

// The five properties of an order at one moment.
class CqgOrderProperties : public EmulatedCollection {
public:
    CqgOrderProperties(std::shared_ptr<ThreadQueue> home, OrderSnapshot snapshot);

    const char *type_name() const override { return "CQGOrderProperties"; }
    const MemberTable &members() const override;

    size_t count() override;
    std::shared_ptr<EmulatedObject> item_at(size_t index) override;
    std::shared_ptr<EmulatedObject> item_with_key(nb::handle key) override; // a property id

private:
    OrderSnapshot snapshot_;
};

class CqgOrderProperty : public EmulatedObject {
public:
    CqgOrderProperty(std::shared_ptr<ThreadQueue> home, long id, OrderSnapshot snapshot);

    const char *type_name() const override { return "CQGOrderProperty"; }
    const MemberTable &members() const override;

    nb::object id() { return nb::int_(id_); }
    nb::object value();

private:
    long id_;
    OrderSnapshot snapshot_;
};

class CqgFill : public EmulatedObject {
public:
    CqgFill(std::shared_ptr<ThreadQueue> home, Fill fill, long status, double time,
            std::shared_ptr<CqgOrder> order);

    const char *type_name() const override { return "CQGFill"; }
    const MemberTable &members() const override;

    nb::object id() { return nb::str(fill_.id.c_str()); }
    nb::object order();
    nb::object timestamp();
    nb::object price() { return nb::float_(fill_.price); }
    nb::object quantity() { return nb::int_(fill_.quantity); }
    nb::object status() { return nb::int_(status_); }

private:
    Fill fill_;
    long status_;
    double time_;
    std::shared_ptr<CqgOrder> order_;
};

// Every order of the session in the order it came, keyed by GUID.
class CqgOrders : public EmulatedCollection {
public:
    CqgOrders(std::shared_ptr<ThreadQueue> home, std::weak_ptr<Cqgcel> cel);

    const char *type_name() const override { return "CQGOrders"; }
    const MemberTable &members() const override;
    void disconnect() override;

    size_t count() override;
    std::shared_ptr<EmulatedObject> item_at(size_t index) override;
    std::shared_ptr<EmulatedObject> item_with_key(nb::handle key) override;
    nb::object item_by_guid(nb::tuple args);

    // The order object of `guid`, made on first use; the one CreateOrder made, once placed.
    std::shared_ptr<CqgOrder> order(const std::string &guid);
    void adopt(const std::shared_ptr<CqgOrder> &order);

private:
    std::weak_ptr<Cqgcel> cel_;
    std::map<std::string, std::shared_ptr<CqgOrder>> by_guid_;
};

} // namespace cqgemu
