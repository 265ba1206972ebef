#include "cqg_ticks.hpp"

#include "request_fields.hpp"
#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"
#include "platform/com_time.hpp"
#include "platform/interface.hpp"

namespace cqgemu {

CqgTicksRequest::CqgTicksRequest(std::shared_ptr<ThreadQueue> home,
                                 std::shared_ptr<CelRecord> record)
    : EmulatedObject(std::move(home)), record_(std::move(record)),
      type_(*cqg_constant("trtCurrentNotify")), tick_filter_(*cqg_constant("tfAll")),
      sessions_filter_(nb::int_(0)) {}

const MemberTable &CqgTicksRequest::members() const {
    using C = CqgTicksRequest;
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<C>(t)
            .property("Symbol", &C::symbol, &C::set_symbol)
            .property("Type", &C::type, &C::set_type)
            .property("TickFilter", &C::tick_filter, &C::set_tick_filter)
            .property("SessionsFilter", &C::sessions_filter, &C::set_sessions_filter)
            .property("Limit", &C::limit, &C::set_limit);
        return t;
    }();
    return table;
}

void CqgTicksRequest::set_symbol(nb::handle value) {
    symbol_ = text_field(value);
    record_->note_property(type_name(), "Symbol", value);
}

void CqgTicksRequest::set_type(nb::handle value) {
    type_ = enumerated_field(type_name(), "eTicksRequestType", "ticks request type", value);
    record_->note_property(type_name(), "Type", value);
}

void CqgTicksRequest::set_tick_filter(nb::handle value) {
    tick_filter_ = enumerated_field(type_name(), "eTicksFilter", "tick filter", value);
    record_->note_property(type_name(), "TickFilter", value);
}

void CqgTicksRequest::set_sessions_filter(nb::handle value) {
    sessions_filter_ = sessions_filter_field(value);
    record_->note_property(type_name(), "SessionsFilter", value);
}

void CqgTicksRequest::set_limit(nb::handle value) {
    long limit = integer_value(value);
    if (limit < 0)
        raise_server_error(type_name(), "Invalid limit", hresult::DISP_E_EXCEPTION);
    limit_ = limit;
    record_->note_property(type_name(), "Limit", value);
}

std::shared_ptr<CqgTicksRequest> CqgTicksRequest::copy() const {
    auto made = make_emulated<CqgTicksRequest>(home(), record_);
    made->symbol_ = symbol_;
    made->type_ = type_;
    made->tick_filter_ = tick_filter_;
    made->sessions_filter_ = sessions_filter_;
    made->limit_ = limit_;
    return made;
}

void CqgTicksRequest::disconnect() {
    sessions_filter_ = nb::none();
    EmulatedObject::disconnect();
}

CqgTick::CqgTick(std::shared_ptr<ThreadQueue> home, TickValue value)
    : EmulatedObject(std::move(home)), value_(value) {}

const MemberTable &CqgTick::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CqgTick>(t)
            .property("PriceType", &CqgTick::price_type)
            .property("Price", &CqgTick::price)
            .property("Volume", &CqgTick::volume)
            .property("Timestamp", &CqgTick::timestamp);
        return t;
    }();
    return table;
}

nb::object CqgTick::timestamp() { return com_time_from_wall_clock(value_.time); }

CqgTicks::CqgTicks(std::shared_ptr<ThreadQueue> home, std::shared_ptr<CqgTicksRequest> request,
                   std::string full_name)
    : EmulatedCollection(std::move(home)), request_(std::move(request)),
      full_name_(std::move(full_name)) {}

const MemberTable &CqgTicks::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CqgTicks> builder(t);
        add_members(builder, true);
        builder.property("Request", &CqgTicks::request);
        return t;
    }();
    return table;
}

void CqgTicks::disconnect() {
    request_->disconnect();
    EmulatedCollection::disconnect();
}

std::shared_ptr<EmulatedObject> CqgTicks::item_at(size_t index) {
    return make_transient<CqgTick>(home(), ticks_.at(index));
}

std::shared_ptr<EmulatedObject> CqgTicks::item_with_key(nb::handle key) {
    return item_at_key_index(key);
}

nb::object CqgTicks::request() { return interface_for_this_thread(request_); }

void CqgTicks::append(const TickValue &tick) {
    ticks_.push_back(tick);
    if (ticks_.size() > LIMIT)
        ticks_.pop_front();
}

} // namespace cqgemu
