#include "market_recording.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <stdexcept>

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

struct KindColumns {
    const pyglue::Name &name;
    Py_ssize_t count;
};

KindColumns columns_of(MarketRecording::Kind kind) {
    switch (kind) {
    case MarketRecording::Kind::Quotes:
        return {kQuotes, 7};
    case MarketRecording::Kind::Ticks:
        return {kTicks, 6};
    default:
        return {kBars, 10};
    }
}

// The recorder's columns of a kind: a tuple of `count` lists.
bool well_formed(nb::handle columns, Py_ssize_t count) {
    if (!PyTuple_CheckExact(columns.ptr()) || PyTuple_GET_SIZE(columns.ptr()) != count)
        return false;
    for (Py_ssize_t index = 0; index < count; ++index)
        if (!PyList_CheckExact(PyTuple_GET_ITEM(columns.ptr(), index)))
            return false;
    return true;
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
    PyObject *found = PyDict_GetItemWithError(attributes.ptr(), kRecorder.get().ptr());
    if (!found) {
        if (PyErr_Occurred())
            throw nb::python_error();
        return recording;
    }
    if (found == Py_None)
        return recording;
    // Owned before any of its members runs Python code that could take it out of the dict.
    nb::object recorder = nb::borrow(found);
    KindColumns expected = columns_of(kind);
    nb::object columns = pyglue::read(recorder, expected.name.get());
    if (!well_formed(columns, expected.count)) {
        PyErr_Format(PyExc_TypeError, "the recorder's %U must be a tuple of %zd lists",
                     expected.name.get().ptr(), expected.count);
        throw nb::python_error();
    }
    if (kind == Kind::Quotes)
        recording.quote_server_time_ = pyglue::is_true(pyglue::read(recorder, kQuoteServerTime));
    recording.recorder_ = std::move(recorder);
    recording.columns_ = std::move(columns);
    recording.received_ = nb::steal(PyLong_FromLongLong(next_received_ns()));
    if (!recording.received_.is_valid())
        throw nb::python_error();
    return recording;
}

void MarketRecording::append(std::initializer_list<nb::handle> values) const {
    if (static_cast<Py_ssize_t>(values.size()) != PyTuple_GET_SIZE(columns_.ptr()))
        throw std::logic_error("a recorded row must fill every column");
    Py_ssize_t index = 0;
    for (nb::handle value : values) {
        PyObject *column = PyTuple_GET_ITEM(columns_.ptr(), index);
        PyObject *item = value.is_valid() ? value.ptr() : Py_None;
        if (PyList_Append(column, item) != 0) {
            // Out of memory: the columns this row reached give it back, to keep one length.
            nb::python_error error;
            while (index-- > 0) {
                PyObject *done = PyTuple_GET_ITEM(columns_.ptr(), index);
                PyList_SetSlice(done, PyList_GET_SIZE(done) - 1, PyList_GET_SIZE(done), nullptr);
            }
            throw error;
        }
        ++index;
    }
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
