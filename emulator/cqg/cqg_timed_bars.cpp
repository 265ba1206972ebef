#include "cqg_timed_bars.hpp"

#include "request_fields.hpp"
#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"
#include "platform/com_time.hpp"
#include "platform/interface.hpp"

#include <algorithm>

namespace cqgemu {

namespace {

// The bar's time stamp is its start plus this, so that a reader who keeps whole seconds has
// something to cut.
constexpr double STAMP_OFFSET_SECONDS = 0.25;

} // namespace

CqgTimedBarsRequest::CqgTimedBarsRequest(std::shared_ptr<ThreadQueue> home,
                                         std::shared_ptr<CelRecord> record)
    : EmulatedObject(std::move(home)), record_(std::move(record)),
      sessions_filter_(nb::int_(0)) {}

const MemberTable &CqgTimedBarsRequest::members() const {
    using C = CqgTimedBarsRequest;
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<C>(t)
            .property("Symbol", &C::symbol, &C::set_symbol)
            .property("RangeStart", &C::range_start, &C::set_range_start)
            .property("RangeEnd", &C::range_end, &C::set_range_end)
            .property("HistoricalPeriod", &C::historical_period, &C::set_historical_period)
            .property("IntradayPeriod", &C::intraday_period, &C::set_intraday_period)
            .property("DailyBarClose", &C::daily_bar_close, &C::set_daily_bar_close)
            .property("UpdatesEnabled", &C::updates_enabled, &C::set_updates_enabled)
            .property("SessionsFilter", &C::sessions_filter, &C::set_sessions_filter)
            .method("IncludeOutput", &C::include_output, {required("Output"), required("Include")});
        return t;
    }();
    return table;
}

void CqgTimedBarsRequest::disconnect() {
    sessions_filter_ = nb::none();
    EmulatedObject::disconnect();
}

void CqgTimedBarsRequest::set_symbol(nb::handle value) {
    symbol_ = text_field(value);
    record_->note_property(type_name(), "Symbol", value);
}

void CqgTimedBarsRequest::set_range_start(nb::handle value) {
    range_start_ = integer_value(value);
    record_->note_property(type_name(), "RangeStart", value);
}

void CqgTimedBarsRequest::set_range_end(nb::handle value) {
    range_end_ = integer_value(value);
    record_->note_property(type_name(), "RangeEnd", value);
}

void CqgTimedBarsRequest::set_historical_period(nb::handle value) {
    historical_period_ =
        enumerated_field(type_name(), "eHistoricalPeriod", "historical period", value);
    record_->note_property(type_name(), "HistoricalPeriod", value);
}

void CqgTimedBarsRequest::set_intraday_period(nb::handle value) {
    intraday_period_ = enumerated_field(type_name(), "eIntradayPeriod", "intraday period", value);
    record_->note_property(type_name(), "IntradayPeriod", value);
}

void CqgTimedBarsRequest::set_daily_bar_close(nb::handle value) {
    daily_bar_close_ = enumerated_field(type_name(), "eDailyBarClose", "daily bar close", value);
    record_->note_property(type_name(), "DailyBarClose", value);
}

void CqgTimedBarsRequest::set_updates_enabled(nb::handle value) {
    updates_enabled_ = flag_value(value);
    record_->note_property(type_name(), "UpdatesEnabled", value);
}

void CqgTimedBarsRequest::set_sessions_filter(nb::handle value) {
    sessions_filter_ = sessions_filter_field(value);
    record_->note_property(type_name(), "SessionsFilter", value);
}

nb::object CqgTimedBarsRequest::include_output(nb::tuple args) {
    require_argument_count(args, 2);
    long output =
        enumerated_field(type_name(), "eTimedBarsRequestOutput", "timed bars output", args[0]);
    bool included = flag_value(args[1]);
    record_->note_object_call(type_name(), "IncludeOutput", args);
    outputs_.erase(std::remove(outputs_.begin(), outputs_.end(), output), outputs_.end());
    if (included)
        outputs_.push_back(output);
    return nb::none();
}

size_t CqgTimedBarsRequest::lookback() const {
    return range_end_ < -1 ? static_cast<size_t>(-static_cast<long long>(range_end_) - 1) : 0;
}

std::shared_ptr<CqgTimedBarsRequest> CqgTimedBarsRequest::copy() const {
    auto made = make_emulated<CqgTimedBarsRequest>(home(), record_);
    made->symbol_ = symbol_;
    made->range_start_ = range_start_;
    made->range_end_ = range_end_;
    made->historical_period_ = historical_period_;
    made->intraday_period_ = intraday_period_;
    made->daily_bar_close_ = daily_bar_close_;
    made->updates_enabled_ = updates_enabled_;
    made->sessions_filter_ = sessions_filter_;
    made->outputs_ = outputs_;
    return made;
}

CqgTimedBar::CqgTimedBar(std::shared_ptr<ThreadQueue> home, MarketBar bar)
    : EmulatedObject(std::move(home)), bar_(bar) {}

const MemberTable &CqgTimedBar::members() const {
    using C = CqgTimedBar;
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<C>(t)
            .property("Timestamp", &C::timestamp)
            .property("Open", &C::open)
            .property("High", &C::high)
            .property("Low", &C::low)
            .property("Close", &C::close)
            .property("ActualVolume", &C::actual_volume)
            .property("ActualVolumeFractional", &C::volume_fractional)
            .property("CommodityVolumeFractional", &C::volume_fractional)
            .property("ContractVolumeFractional", &C::volume_fractional)
            .property("TickVolume", &C::tick_volume);
        return t;
    }();
    return table;
}

nb::object CqgTimedBar::timestamp() { return com_time_from_wall_clock(bar_.open_time + STAMP_OFFSET_SECONDS); }

CqgTimedBars::CqgTimedBars(std::shared_ptr<ThreadQueue> home,
                           std::shared_ptr<CqgTimedBarsRequest> request, std::string full_name,
                           std::vector<MarketBar> window)
    : EmulatedCollection(std::move(home)), request_(std::move(request)),
      full_name_(std::move(full_name)), bars_(window.begin(), window.end()),
      capacity_(request_->lookback() + 1) {}

const MemberTable &CqgTimedBars::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CqgTimedBars> builder(t);
        add_members(builder, true);
        builder.property("Request", &CqgTimedBars::request);
        return t;
    }();
    return table;
}

void CqgTimedBars::disconnect() {
    request_->disconnect();
    EmulatedCollection::disconnect();
}

std::shared_ptr<EmulatedObject> CqgTimedBars::item_at(size_t index) {
    return make_transient<CqgTimedBar>(home(), bars_.at(index));
}

std::shared_ptr<EmulatedObject> CqgTimedBars::item_with_key(nb::handle key) {
    return item_at_key_index(key);
}

nb::object CqgTimedBars::request() { return interface_for_this_thread(request_); }

void CqgTimedBars::add_closed(const MarketBar &closed, const MarketBar &forming) {
    if (bars_.empty())
        bars_.push_back(closed);
    else
        bars_.back() = closed;
    bars_.push_back(forming);
    while (bars_.size() > capacity_ && bars_.size() > 2)
        bars_.pop_front();
}

void CqgTimedBars::update_forming(const MarketBar &forming) {
    if (bars_.empty())
        bars_.push_back(forming);
    else
        bars_.back() = forming;
}

} // namespace cqgemu
