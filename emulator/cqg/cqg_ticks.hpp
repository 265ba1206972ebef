// Tick requests: CQGTicksRequest (what the gateway asks for), CQGTicks (the ticks of one request,
// growing as ticks arrive) and CQGTick (one of them).
#pragma once

#include "cel_record.hpp"
#include "collection.hpp"

#include <deque>
#include <string>

namespace cqgemu {

class CqgTicksRequest : public EmulatedObject {
public:
    CqgTicksRequest(std::shared_ptr<ThreadQueue> home, std::shared_ptr<CelRecord> record);

    const char *type_name() const override { return "CQGTicksRequest"; }
    const MemberTable &members() const override;

    nb::object symbol() { return nb::str(symbol_.c_str()); }
    void set_symbol(nb::handle value);
    nb::object type() { return nb::int_(type_); }
    void set_type(nb::handle value);
    nb::object tick_filter() { return nb::int_(tick_filter_); }
    void set_tick_filter(nb::handle value);
    nb::object sessions_filter() { return sessions_filter_; }
    void set_sessions_filter(nb::handle value);
    nb::object limit() { return nb::int_(limit_); }
    void set_limit(nb::handle value);

    const std::string &symbol_text() const { return symbol_; }
    // The request as it was sent: later changes to this one do not reach the ticks.
    std::shared_ptr<CqgTicksRequest> copy() const;
    void disconnect() override;

private:
    std::shared_ptr<CelRecord> record_;
    std::string symbol_;
    long type_;
    long tick_filter_;
    nb::object sessions_filter_;
    long limit_ = 0;
};

struct TickValue {
    long price_type; // a tick price-type constant, or any int a test sends
    double price;
    double volume;
    double time; // epoch seconds
};

class CqgTick : public EmulatedObject {
public:
    CqgTick(std::shared_ptr<ThreadQueue> home, TickValue value);

    const char *type_name() const override { return "CQGTick"; }
    const MemberTable &members() const override;

    nb::object price_type() { return nb::int_(value_.price_type); }
    nb::object price() { return nb::float_(value_.price); }
    nb::object volume() { return nb::int_(static_cast<long long>(value_.volume)); }
    nb::object timestamp();

private:
    TickValue value_;
};

class CqgTicks : public EmulatedCollection {
public:
    // The latest ticks kept; older ones are dropped so that a long live run stays bounded.
    static constexpr size_t LIMIT = 10000;

    CqgTicks(std::shared_ptr<ThreadQueue> home, std::shared_ptr<CqgTicksRequest> request,
             std::string full_name);

    const char *type_name() const override { return "CQGTicks"; }
    const MemberTable &members() const override;
    void disconnect() override;

    size_t count() override { return ticks_.size(); }
    std::shared_ptr<EmulatedObject> item_at(size_t index) override;
    std::shared_ptr<EmulatedObject> item_with_key(nb::handle key) override; // by index
    nb::object request();

    // The full name of the instrument the ticks are of; empty when the symbol was unknown.
    const std::string &key() const { return full_name_; }
    void append(const TickValue &tick);

private:
    std::shared_ptr<CqgTicksRequest> request_;
    std::string full_name_;
    std::deque<TickValue> ticks_;
};

} // namespace cqgemu
