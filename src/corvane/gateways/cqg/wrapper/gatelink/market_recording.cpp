#include "market_recording.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>

#include "safe_access.hpp"
#include "truth.hpp"

namespace gatelink {

namespace {

const pyglue::Name kRecorder("market_recorder"), kQuotes("quotes"), kTicks("ticks"), kBars("bars"),
    kQuoteServerTime("quote_server_time"), kServerTimestamp("ServerTimestamp");

// Events are handled one at a time, but a clock may stand still between two of them (or be
// set back): each event gets a time after the one before.
std::int64_t next_received_ns() {
    static std::atomic<std::int64_t> last{0};
    auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count();
    std::int64_t previous = last.load(std::memory_order_relaxed);
    std::int64_t next;
    do {
        next = now > previous ? now : previous + 1;
    } while (!last.compare_exchange_weak(previous, next, std::memory_order_relaxed));
    return next;
}

const pyglue::Name &list_name(MarketRecording::Kind kind) {
    switch (kind) {
    case MarketRecording::Kind::Quotes:
        return kQuotes;
    case MarketRecording::Kind::Ticks:
        return kTicks;
    default:
        return kBars;
    }
}

} // namespace

MarketRecording MarketRecording::of(nb::handle gateway, Kind kind) {
    MarketRecording recording;
    // The instance's own attributes only: a missing attribute costs no exception.
    nb::object attributes = nb::steal(PyObject_GenericGetDict(gateway.ptr(), nullptr));
    if (!attributes.is_valid() || !PyDict_Check(attributes.ptr())) {
        PyErr_Clear();
        return recording;
    }
    PyObject *recorder = PyDict_GetItemWithError(attributes.ptr(), kRecorder.get().ptr());
    if (!recorder) {
        if (PyErr_Occurred())
            throw nb::python_error();
        return recording;
    }
    if (recorder == Py_None)
        return recording;
    nb::object rows = pyglue::read(recorder, list_name(kind).get());
    if (!PyList_Check(rows.ptr())) {
        PyErr_Format(PyExc_TypeError, "the recorder's %U must be a list, not %.200s",
                     list_name(kind).get().ptr(), Py_TYPE(rows.ptr())->tp_name);
        throw nb::python_error();
    }
    if (kind == Kind::Quotes)
        recording.quote_server_time_ = pyglue::is_true(pyglue::read(recorder, kQuoteServerTime));
    recording.recorder_ = nb::borrow(recorder);
    recording.rows_ = std::move(rows);
    recording.received_ = nb::steal(PyLong_FromLongLong(next_received_ns()));
    if (!recording.received_.is_valid())
        throw nb::python_error();
    return recording;
}

void MarketRecording::append(std::initializer_list<nb::handle> values) const {
    nb::object row = nb::steal(PyTuple_New(static_cast<Py_ssize_t>(values.size())));
    if (!row.is_valid())
        throw nb::python_error();
    Py_ssize_t index = 0;
    for (nb::handle value : values) {
        nb::object item = value.is_valid() ? nb::borrow(value) : nb::none();
        PyTuple_SET_ITEM(row.ptr(), index++, item.release().ptr());
    }
    if (PyList_Append(rows_.ptr(), row.ptr()) != 0)
        throw nb::python_error();
}

nb::object MarketRecording::read_or_none(nb::handle obj, const pyglue::Name &name) {
    try {
        return pyglue::read(obj, name);
    } catch (nb::python_error &error) {
        if (!error.matches(PyExc_Exception))
            throw;
        return nb::none();
    }
}

void MarketRecording::read_into(nb::object &slot, nb::handle obj, const pyglue::Name &name) {
    if (slot.is_valid())
        return;
    try {
        slot = pyglue::read(obj, name);
    } catch (nb::python_error &error) {
        if (!error.matches(PyExc_Exception))
            throw;
    }
}

nb::object MarketRecording::quote_server_time(nb::handle quote) {
    if (!quote_server_time_)
        return nb::none();
    try {
        return pyglue::read(quote, kServerTimestamp);
    } catch (nb::python_error &error) {
        if (!error.matches(PyExc_Exception))
            throw;
        if (error.matches(PyExc_AttributeError)) {
            quote_server_time_ = false;
            pyglue::write(recorder_, kQuoteServerTime, nb::handle(Py_False));
        }
        return nb::none();
    }
}

nb::object read_once(nb::object &slot, nb::handle obj, const pyglue::Name &name) {
    if (!slot.is_valid())
        slot = pyglue::read(obj, name);
    return slot;
}

} // namespace gatelink
