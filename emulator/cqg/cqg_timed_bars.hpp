// Timed-bar requests: CQGTimedBarsRequest (what the gateway asks for), CQGTimedBars (the window
// of one request: completed bars, oldest first, then the bar being formed) and CQGTimedBar.
#pragma once

#include "cel_record.hpp"
#include "collection.hpp"
#include "market/bar_history.hpp"

#include <deque>
#include <string>
#include <vector>

namespace cqgemu {

class CqgTimedBarsRequest : public EmulatedObject {
public:
    CqgTimedBarsRequest(std::shared_ptr<ThreadQueue> home, std::shared_ptr<CelRecord> record);

    const char *type_name() const override { return "CQGTimedBarsRequest"; }
    const MemberTable &members() const override;
    void disconnect() override;

    nb::object symbol() { return nb::str(symbol_.c_str()); }
    void set_symbol(nb::handle value);
    nb::object range_start() { return nb::int_(range_start_); }
    void set_range_start(nb::handle value);
    nb::object range_end() { return nb::int_(range_end_); }
    void set_range_end(nb::handle value);
    nb::object historical_period() { return nb::int_(historical_period_); }
    void set_historical_period(nb::handle value);
    nb::object intraday_period() { return nb::int_(intraday_period_); }
    void set_intraday_period(nb::handle value);
    nb::object daily_bar_close() { return nb::int_(daily_bar_close_); }
    void set_daily_bar_close(nb::handle value);
    nb::object updates_enabled() { return nb::bool_(updates_enabled_); }
    void set_updates_enabled(nb::handle value);
    nb::object sessions_filter() { return sessions_filter_; }
    void set_sessions_filter(nb::handle value);
    nb::object include_output(nb::tuple args);

    const std::string &symbol_text() const { return symbol_; }
    bool updates() const { return updates_enabled_; }
    // Completed bars asked for: RangeEnd -101 asks for 100 and the forming bar.
    size_t lookback() const;
    std::shared_ptr<CqgTimedBarsRequest> copy() const;

private:
    std::shared_ptr<CelRecord> record_;
    std::string symbol_;
    long range_start_ = 0;
    long range_end_ = 0;
    long historical_period_ = 0;
    long intraday_period_ = 0;
    long daily_bar_close_ = 0;
    bool updates_enabled_ = false;
    nb::object sessions_filter_;
    std::vector<long> outputs_;
};

class CqgTimedBar : public EmulatedObject {
public:
    CqgTimedBar(std::shared_ptr<ThreadQueue> home, MarketBar bar);

    const char *type_name() const override { return "CQGTimedBar"; }
    const MemberTable &members() const override;

    nb::object timestamp();
    nb::object open() { return nb::float_(bar_.open); }
    nb::object high() { return nb::float_(bar_.high); }
    nb::object low() { return nb::float_(bar_.low); }
    nb::object close() { return nb::float_(bar_.close); }
    nb::object actual_volume() { return nb::int_(static_cast<long long>(bar_.volume)); }
    nb::object volume_fractional() { return nb::float_(bar_.volume); }
    nb::object tick_volume() { return nb::int_(static_cast<long long>(bar_.tick_volume)); }

private:
    MarketBar bar_;
};

class CqgTimedBars : public EmulatedCollection {
public:
    CqgTimedBars(std::shared_ptr<ThreadQueue> home, std::shared_ptr<CqgTimedBarsRequest> request,
                 std::string full_name, std::vector<MarketBar> window);

    const char *type_name() const override { return "CQGTimedBars"; }
    const MemberTable &members() const override;
    void disconnect() override;

    size_t count() override { return bars_.size(); }
    std::shared_ptr<EmulatedObject> item_at(size_t index) override;
    std::shared_ptr<EmulatedObject> item_with_key(nb::handle key) override; // by index
    nb::object request();

    const std::string &key() const { return full_name_; }
    bool updates() const { return request_->updates(); }

    // The forming bar was completed as `closed`; `forming` is the next one. The window keeps
    // its size: the oldest completed bar leaves once the look-back is full.
    void add_closed(const MarketBar &closed, const MarketBar &forming);
    void update_forming(const MarketBar &forming);

private:
    std::shared_ptr<CqgTimedBarsRequest> request_;
    std::string full_name_;
    std::deque<MarketBar> bars_;
    size_t capacity_;
};

} // namespace cqgemu
