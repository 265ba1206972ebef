#include "timed_bars.hpp"

#include <vector>

#include "bar_repair.hpp"
#include "com_platform.hpp"
#include "cqg_lookup.hpp"
#include "cqg_time.hpp"
#include "errors.hpp"
#include "interned_names.hpp"
#include "market_records.hpp"
#include "market_recording.hpp"
#include "market_values.hpp"
#include "safe_access.hpp"
#include "truth.hpp"
#include "type_check.hpp"

namespace corvane::gatelink {

using pyglue::call_method;
using cqgglue::com_constant;
using pyglue::raise_value_error;
using pyglue::read;
using pyglue::write;

namespace {

// The Bar fields the repair works on, in the order it tests them.
const char *const kRepairedFields[kBarFields] = {"open", "high", "low", "close", "volume"};

// An int is taken as it is, any other number as int(number) (a float is truncated).
nb::object lookback_as_int(nb::handle lookback_period) {
    if (PyLong_Check(lookback_period.ptr()))
        return nb::borrow(lookback_period);
    if (!PyNumber_Check(lookback_period.ptr()))
        pyglue::raise_incorrect_type(lookback_period, "int", "lookback_period");
    nb::object whole = nb::steal(PyNumber_Long(lookback_period.ptr()));
    if (!whole.is_valid())
        throw nb::python_error();
    return whole;
}

nb::object request_symbol(nb::handle timed_bars) {
    nb::object request = read(timed_bars, "Request");
    return read(request, "Symbol");
}

nb::object security_of_symbol(nb::handle gateway, nb::handle cqg_symbol) {
    return call_method(gateway, "get_cv_security_from_cqg_symbol", cqg_symbol);
}

// The members of a CQG bar the gateway reads, each read once.
struct BarReads {
    nb::object timestamp, open, high, low, close, volume;
};

BarReads read_bar(nb::handle cqg_bar) {
    BarReads bar;
    bar.timestamp = read(cqg_bar, "Timestamp");
    bar.open = read(cqg_bar, "Open");
    bar.high = read(cqg_bar, "High");
    bar.low = read(cqg_bar, "Low");
    bar.close = read(cqg_bar, "Close");
    bar.volume = read(cqg_bar, "ActualVolume");
    return bar;
}

// A CQG bar as the framework's Bar: its time stamp cut to whole seconds without a zone.
nb::object bar_record(ScopeRef scope, const BarReads &cqg_bar, nb::handle security) {
    nb::object when = cqgglue::naive_whole_seconds(cqg_bar.timestamp);
    nb::object Bar = scope.global("Bar");
    return Bar(nb::arg("datetime") = when, nb::arg("security") = security,
               nb::arg("open") = cqg_bar.open, nb::arg("high") = cqg_bar.high,
               nb::arg("low") = cqg_bar.low, nb::arg("close") = cqg_bar.close,
               nb::arg("volume") = cqg_bar.volume);
}

const pyglue::Name kGateway("gateway"), kResolved("resolved"), kAdded("added"), kUpdated("updated"),
    kTickVolume("TickVolume");

// A bar as CQG gave it; `event` says whether it came with the resolution, was added or was
// updated.
void record_bar(const MarketRecording &recording, const pyglue::Name &event,
                nb::handle cqg_symbol, nb::handle cqg_bar, const BarReads &values) {
    nb::object tick_volume = MarketRecording::read_or_none(cqg_bar, kTickVolume);
    recording.append({recording.received(), event, cqg_symbol, values.timestamp, values.open,
                      values.high, values.low, values.close, values.volume, tick_volume});
}

// The bar at `index`, read for the recording only (the gateway does not read it): a bar
// that cannot be read is left out rather than ending the gateway's handling.
void record_bar_at(const MarketRecording &recording, const pyglue::Name &event,
                   nb::handle cqg_symbol, nb::handle timed_bars, Py_ssize_t index) {
    try {
        nb::object cqg_bar = call_method(timed_bars, "Item", index);
        record_bar(recording, event, cqg_symbol, cqg_bar, read_bar(cqg_bar));
    } catch (nb::python_error &error) {
        if (!error.matches(PyExc_Exception))
            throw;
    }
}

// Python's `a > b`.
bool later(nb::handle a, nb::handle b) {
    nb::object result = nb::steal(PyObject_RichCompare(a.ptr(), b.ptr(), Py_GT));
    if (!result.is_valid())
        throw nb::python_error();
    return pyglue::is_true(result);
}

// record.<name>, by the ordinary attribute look-up, asked of the type's own slot directly (the
// name is known to be a str): the repair reads every field of every bar of the window.
nb::object field_of(nb::handle record, nb::handle name) {
    getattrofunc look_up = Py_TYPE(record.ptr())->tp_getattro;
    nb::object value = nb::steal(look_up ? look_up(record.ptr(), name.ptr())
                                         : PyObject_GetAttr(record.ptr(), name.ptr()));
    if (!value.is_valid())
        throw nb::python_error();
    return value;
}

} // namespace

nb::object get_timedbars_from_cqg_symbol(ScopeRef, nb::handle self, nb::handle cqg_symbol) {
    require_cqg_symbol(cqg_symbol);
    nb::object all_timed_bars = read(Scope::cqg_cel(self), "AllTimedBars");
    return find_by_cqg_symbol(all_timed_bars, cqg_symbol, NamedBy::RequestSymbol);
}

// A refused length is refused before anything reaches CQG; the wait's outcome is ignored.
void subscribe_bar(ScopeRef scope, nb::handle self, nb::handle cqg_symbol,
                   nb::handle lookback_period, nb::handle freq) {
    require_cqg_symbol(cqg_symbol);
    nb::object lookback = lookback_as_int(lookback_period);
    pyglue::require_exact_type(freq, &PyUnicode_Type, "freq");

    nb::tuple FREQ_ALLOWED = nb::make_tuple("1Day", "1Min");
    bool daily = PyUnicode_CompareWithASCIIString(freq.ptr(), "1Day") == 0;
    bool minutes = PyUnicode_CompareWithASCIIString(freq.ptr(), "1Min") == 0;
    if (!daily && !minutes)
        raise_value_error(nb::str("Parameter freq={} is Not supported. Only {} are allowed.")
                              .format(freq, FREQ_ALLOWED));

    scope.trace(nb::str("Create {} timed bars request for {}").format(freq, cqg_symbol));
    nb::object cqgCEL = Scope::cqg_cel(self);
    nb::object created = call_method(cqgCEL, "CreateTimedBarsRequest");
    nb::object request = cqgglue::dispatch(created);
    write(request, "Symbol", cqg_symbol);
    write(request, "RangeStart", nb::int_(0));
    nb::object range_end = nb::int_(0) - lookback - nb::int_(1);
    write(request, "RangeEnd", range_end);
    if (daily)
        write(request, "HistoricalPeriod", com_constant("hpDaily"));
    if (minutes)
        write(request, "IntradayPeriod", com_constant("pfds1Min"));
    write(request, "DailyBarClose", com_constant("dbcLastQuoteOrSettlement"));
    write(request, "UpdatesEnabled", nb::bool_(true));
    call_method(request, "IncludeOutput", com_constant("tbrContractVolume"), nb::bool_(true));
    call_method(request, "IncludeOutput", com_constant("tbrCommodityVolume"), nb::bool_(true));
    write(request, "SessionsFilter", nb::str("all"));

    nb::object done = read(self, "eventBarDone");
    call_method(done, "clear");
    call_method(cqgCEL, "RequestTimedBars", request);
    scope.trace(nb::str("Waiting for eventBarDone in subscribe_bar({})...").format(cqg_symbol));
    scope.wait_at_most_timeout(done);
    scope.trace("eventBarDone is done.");
}

// An unknown symbol returns quietly; the class wraps this method with safe_call.
void unsubscribe_bar(ScopeRef scope, nb::handle self, nb::handle cqg_symbol) {
    require_cqg_symbol(cqg_symbol);
    nb::object lookup = read(self, "get_timedbars_from_cqg_symbol");
    nb::object timed_bars = lookup(cqg_symbol);
    if (timed_bars.is_none())
        return;
    call_method(Scope::cqg_cel(self), "RemoveTimedBars", timed_bars);
    nb::object gateway = read(self, "gateway");
    nb::object security = call_method(gateway, "get_cv_security_from_cqg_symbol", cqg_symbol);
    call_method(read(self, "eventBarDone"), "clear");
    nb::object bars_data = read(self, "subscribe_bars_data");
    call_method(bars_data, "pop", security, nb::none());
    scope.trace(nb::str("Successfully unsubscribe timedbar for {}").format(cqg_symbol));
}

// The stored window, repaired in place: each missing value takes its neighbour's (see
// bar_repair.hpp). A newest bar that stays incomplete is refused, with the repairs kept.
nb::object get_subscribe_bars_data(ScopeRef scope, nb::handle self, nb::handle security) {
    nb::object bars_data = read(self, "subscribe_bars_data");
    nb::object stored = call_method(bars_data, "get", security);
    if (stored.is_none() || !pyglue::is_true(stored))
        return nb::none();

    // The bars are taken as the list stands now (the event thread may change it only between
    // our calls into Python) and each field is read once, for its validity only: a repair
    // copies a value that is valid, and so unchanged by the repair, at the moment it is made.
    nb::list window = nb::list(stored);
    const std::size_t count = nb::len(window);
    nb::object invalid = scope.global("INVALID_VALUE");
    MarkerTest is_invalid(invalid);
    nb::handle names[kBarFields];
    for (std::size_t field = 0; field < kBarFields; ++field)
        names[field] = pyglue::interned(kRepairedFields[field]);

    std::vector<BarValidity> validity(count);
    for (std::size_t bar = 0; bar < count; ++bar) {
        PyObject *record = PyList_GET_ITEM(window.ptr(), bar);
        BarValidity &has_value = validity[bar];
        for (std::size_t field = 0; field < kBarFields; ++field)
            has_value[field] = !is_invalid.matches(field_of(record, names[field]));
    }

    WindowRepair repair = repair_window(validity);
    for (const FieldRepair &fix : repair.repairs) {
        nb::handle source = PyList_GET_ITEM(window.ptr(), fix.from_bar);
        nb::handle record = PyList_GET_ITEM(window.ptr(), fix.bar);
        write(record, names[fix.field], field_of(source, names[fix.field]));
    }

    for (std::size_t field = 0; field < kBarFields; ++field)
        if (!repair.newest_valid[field]) {
            nb::handle newest = PyList_GET_ITEM(window.ptr(), count - 1);
            raise_value_error(nb::str("The latest bar is INVALID: {}.").format(newest));
        }
    return stored;
}

// The window is every bar but the last, which is still being formed. A security that
// already has bars keeps them; an error or an empty answer only releases the subscription.
void on_timed_bars_resolved(ScopeRef scope, nb::handle self, nb::handle cqgTimedBars,
                            nb::handle cqgError) {
    if (!cqgError.is_none()) {
        Scope::release(self, "eventBarDone");
        return;
    }
    nb::object timed_bars = cqgglue::dispatch(cqgTimedBars);
    Py_ssize_t count = as_index(read(timed_bars, "Count"));
    if (count == 0) {
        Scope::release(self, "eventBarDone");
        return;
    }
    nb::object gateway = read(self, "gateway");
    nb::object cqg_symbol = request_symbol(timed_bars);
    nb::object security = security_of_symbol(gateway, cqg_symbol);
    nb::object bars_data = read(self, "subscribe_bars_data");
    nb::object existing = call_method(bars_data, "get", security, nb::none());
    if (pyglue::is_true(existing)) {
        Scope::release(self, "eventBarDone");
        return;
    }

    // A recording gets the window and the bar being formed: the history a replay answers
    // bar requests from.
    MarketRecording recording = MarketRecording::of(gateway, MarketRecording::Kind::Bars);
    nb::list bars;
    bars_data[security] = bars;
    for (Py_ssize_t index = 0; index < count - 1; ++index) {
        nb::object cqg_bar = call_method(timed_bars, "Item", index);
        BarReads values = read_bar(cqg_bar);
        if (recording)
            record_bar(recording, kResolved, cqg_symbol, cqg_bar, values);
        bars.append(bar_record(scope, values, security));
    }
    if (recording)
        record_bar_at(recording, kResolved, cqg_symbol, timed_bars, count - 1);
    Scope::release(self, "eventBarDone");
}

// The newest completed bar rolls the window when it is later than the last one kept. A
// window the resolution left empty takes the bar instead of comparing it with nothing.
void on_timed_bars_added(ScopeRef scope, nb::handle self, nb::handle cqgTimedBars) {
    nb::object timed_bars = cqgglue::dispatch(cqgTimedBars);
    Py_ssize_t count = as_index(read(timed_bars, "Count"));
    if (count < 2)
        return;
    nb::object gateway = read(self, "gateway");
    nb::object cqg_symbol = request_symbol(timed_bars);
    nb::object security = security_of_symbol(gateway, cqg_symbol);
    nb::object bars_data = read(self, "subscribe_bars_data");
    // A bar still queued when its window was unsubscribed belongs to no window any more.
    int followed = PySequence_Contains(bars_data.ptr(), security.ptr());
    if (followed < 0)
        throw nb::python_error();
    if (followed == 0)
        return;
    nb::object stored = bars_data[security];
    if (stored.is_none()) {
        pyglue::raise_error(PyExc_AssertionError,
                            "We should have initiated data in OnTimedBarsResolved first!");
    }

    // A recording gets the completed bar and the new one being formed.
    nb::object cqg_bar = call_method(timed_bars, "Item", count - 2);
    BarReads values = read_bar(cqg_bar);
    if (MarketRecording recording = MarketRecording::of(gateway, MarketRecording::Kind::Bars)) {
        record_bar(recording, kAdded, cqg_symbol, cqg_bar, values);
        record_bar_at(recording, kAdded, cqg_symbol, timed_bars, count - 1);
    }
    nb::object bar = bar_record(scope, values, security);
    Py_ssize_t kept = PyObject_Length(stored.ptr());
    if (kept < 0)
        throw nb::python_error();
    if (kept > 0) {
        nb::object last = stored[kept - 1];
        if (!later(read(bar, "datetime"), read(last, "datetime")))
            return;
    }
    nb::object print = scope.global("print");
    print(nb::str("[2] OnTimedBarsAdded: {}").format(bar));
    if (kept > 0)
        call_method(stored, "pop", 0);
    call_method(stored, "append", bar);
}

// Changes of the bar being formed and removals are ignored; an attached recorder gets the
// bar as it now is.
void on_timed_bars_updated(ScopeRef, nb::handle self, nb::handle cqgTimedBars, nb::handle index) {
    nb::object gateway = MarketRecording::read_or_none(self, kGateway);
    if (gateway.is_none())
        return;
    MarketRecording recording = MarketRecording::of(gateway, MarketRecording::Kind::Bars);
    if (!recording)
        return;
    try {
        nb::object timed_bars = cqgglue::dispatch(cqgTimedBars);
        nb::object cqg_symbol = request_symbol(timed_bars);
        record_bar_at(recording, kUpdated, cqg_symbol, timed_bars, as_index(index));
    } catch (nb::python_error &error) {
        if (!error.matches(PyExc_Exception))
            throw;
    }
}
void on_timed_bars_removed(ScopeRef, nb::handle, nb::handle, nb::handle) {}

void dump_bar(ScopeRef scope, nb::handle, nb::handle bar, nb::handle index) {
    nb::object timestamp = read(bar, "Timestamp"), open = read(bar, "Open"),
               high = read(bar, "High"), low = read(bar, "Low"), close = read(bar, "Close"),
               actual = read(bar, "ActualVolumeFractional"),
               commodity = read(bar, "CommodityVolumeFractional"),
               contract = read(bar, "ContractVolumeFractional"),
               ticks = read(bar, "TickVolume");
    nb::str format("Bar index: {} Timestamp {} Open {} High {} Low {} Close {} "
                   "ActualVolumeFractional {} CommodityVolumeFractional {} "
                   "ContractVolumeFractional {} TickVolume {}");
    scope.trace(format.format(index, timestamp, open, high, low, close, actual, commodity,
                              contract, ticks));
}

} // namespace corvane::gatelink
