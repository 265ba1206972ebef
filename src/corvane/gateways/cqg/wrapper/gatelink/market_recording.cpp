#include "market_recording.hpp"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "datetime_helpers.hpp"
#include "errors.hpp"
#include "safe_access.hpp"
#include "truth.hpp"

namespace corvane::gatelink {

namespace {

const pyglue::Name kRecorder("market_recorder"), kQuotes("quotes"), kTicks("ticks"), kBars("bars"),
    kQuoteServerTime("quote_server_time"), kServerTimestamp("ServerTimestamp"),
    kPackedQuotes("packed_quotes"), kQuoteNames("quote_names");

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

// obj's own attributes (its instance dict), or an invalid object where it has none.
nb::object own_attributes(nb::handle obj) {
    nb::object attributes = nb::steal(PyObject_GenericGetDict(obj.ptr(), nullptr));
    if (!attributes.is_valid() || !PyDict_Check(attributes.ptr())) {
        PyErr_Clear();
        return nb::object();
    }
    return attributes;
}

// The entry `name` of `attributes` (an instance dict, or invalid), or an invalid object.
nb::object own_attribute(nb::handle attributes, const pyglue::Name &name) {
    if (!attributes.is_valid())
        return nb::object();
    PyObject *found = PyDict_GetItemWithError(attributes.ptr(), name.get().ptr());
    if (!found && PyErr_Occurred())
        throw nb::python_error();
    return found ? nb::borrow(found) : nb::object();
}

// obj.<name>, taken from its own attributes when there (one dictionary look-up, as every
// event reads it), else read as any attribute.
nb::object recorder_member(nb::handle obj, nb::handle attributes, const pyglue::Name &name) {
    nb::object value = own_attribute(attributes, name);
    return value.is_valid() ? value : pyglue::read(obj, name.get());
}

// A float column's value from a float or an int that a double holds exactly.
bool plain_number(nb::handle value, double &number) {
    if (PyFloat_CheckExact(value.ptr())) {
        number = PyFloat_AS_DOUBLE(value.ptr());
        return true;
    }
    if (!PyLong_CheckExact(value.ptr()))
        return false;
    int overflow = 0;
    long long whole = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow || (whole == -1 && PyErr_Occurred())) {
        PyErr_Clear();
        return false;
    }
    constexpr long long kExact = 1LL << 53;
    if (whole > kExact || whole < -kExact)
        return false;
    number = static_cast<double>(whole);
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
    nb::object own = own_attributes(recorder);
    nb::object columns = recorder_member(recorder, own, expected.name);
    if (!well_formed(columns, expected.count)) {
        pyglue::raise_error(PyExc_TypeError, "the recorder's %U must be a tuple of %zd lists",
                            expected.name.get().ptr(), expected.count);
    }
    if (kind == Kind::Quotes) {
        recording.quote_server_time_ =
            pyglue::is_true(recorder_member(recorder, own, kQuoteServerTime));
        nb::object packed = own_attribute(own, kPackedQuotes);
        nb::object names = own_attribute(own, kQuoteNames);
        if (packed.is_valid() && PyByteArray_CheckExact(packed.ptr()) && names.is_valid() &&
            PyDict_CheckExact(names.ptr())) {
            recording.packed_quotes_ = std::move(packed);
            recording.quote_names_ = std::move(names);
        }
    }
    recording.recorder_ = std::move(recorder);
    recording.columns_ = std::move(columns);
    recording.received_ns_ = next_received_ns();
    return recording;
}

nb::handle MarketRecording::received() const {
    if (!received_.is_valid()) {
        received_ = nb::steal(PyLong_FromLongLong(received_ns_));
        if (!received_.is_valid())
            throw nb::python_error();
    }
    return received_;
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

// The code of a full name in the packed rows: its position in `quote_names`, added there
// when new. Codes are never reused, so rows already packed keep their names.
bool MarketRecording::code_of(nb::handle full_name, std::int32_t &code) {
    if (last_name_.is_valid() && last_name_.ptr() == full_name.ptr()) {
        code = last_code_;
        return true;
    }
    PyObject *found = PyDict_GetItemWithError(quote_names_.ptr(), full_name.ptr());
    if (found) {
        if (!PyLong_CheckExact(found))
            return false;
        long long value = PyLong_AsLongLong(found);
        if (value < 0 || value > INT32_MAX) {
            PyErr_Clear();
            return false;
        }
        code = static_cast<std::int32_t>(value);
    } else {
        if (PyErr_Occurred())
            throw nb::python_error();
        Py_ssize_t next = PyDict_Size(quote_names_.ptr());
        if (next > INT32_MAX)
            return false;
        nb::object value = nb::steal(PyLong_FromSsize_t(next));
        if (!value.is_valid() || PyDict_SetItem(quote_names_.ptr(), full_name.ptr(), value.ptr()))
            throw nb::python_error();
        code = static_cast<std::int32_t>(next);
    }
    last_name_ = nb::borrow(full_name);
    last_code_ = code;
    return true;
}

// The row's values but its received time and name when they are plain, else false. May run
// Python code (a server time's utcoffset).
bool MarketRecording::pack_quote(nb::handle server_time, nb::handle type, nb::handle price,
                                 nb::handle volume, nb::handle is_valid, char *row) {
    namespace layout = packed_quote;
    unsigned char flags = 0;
    std::int64_t server_ns = 0;
    if (server_time.is_valid() && !server_time.is_none()) {
        if (!pyglue::utc_nanoseconds(server_time, server_ns))
            return false;
        flags |= layout::kHasServerTime;
    }
    if (!type.is_valid() || !PyLong_CheckExact(type.ptr()))
        return false;
    int overflow = 0;
    std::int64_t type_value = PyLong_AsLongLongAndOverflow(type.ptr(), &overflow);
    if (overflow || (type_value == -1 && PyErr_Occurred())) {
        PyErr_Clear();
        return false;
    }
    if (!price.is_valid() || !PyFloat_CheckExact(price.ptr()))
        return false;
    double price_value = PyFloat_AS_DOUBLE(price.ptr());
    double volume_value = std::nan("");
    if (volume.is_valid() && !volume.is_none()) {
        if (!plain_number(volume, volume_value))
            return false;
        flags |= layout::kHasVolume;
    }
    if (is_valid.ptr() == Py_True)
        flags |= layout::kIsValid;
    else if (is_valid.ptr() != Py_False)
        return false;
    std::memcpy(row + layout::kTypeValue, &type_value, sizeof type_value);
    std::memcpy(row + layout::kPrice, &price_value, sizeof price_value);
    std::memcpy(row + layout::kVolume, &volume_value, sizeof volume_value);
    std::memcpy(row + layout::kServerTime, &server_ns, sizeof server_ns);
    row[layout::kFlags] = static_cast<char>(flags);
    return true;
}

// Copies a whole row to the end of the packed rows; nothing here runs Python code, so the
// writer never sees part of a row.
void MarketRecording::append_packed_row(const char *row) {
    PyObject *packed = packed_quotes_.ptr();
    Py_ssize_t at = PyByteArray_GET_SIZE(packed);
    if (PyByteArray_Resize(packed, at + packed_quote::kSize) != 0)
        throw nb::python_error();
    std::memcpy(PyByteArray_AS_STRING(packed) + at, row, packed_quote::kSize);
}

void MarketRecording::append_quote(nb::handle server_time, nb::handle full_name,
                                   nb::handle type, nb::handle price, nb::handle volume,
                                   nb::handle is_valid) {
    if (!packed_quotes_.is_valid()) {
        append({received(), server_time, full_name, type, price, volume, is_valid});
        return;
    }
    char row[packed_quote::kSize] = {};
    std::memcpy(row + packed_quote::kReceived, &received_ns_, sizeof received_ns_);
    std::int32_t code = 0;
    if (full_name.is_valid() && PyUnicode_CheckExact(full_name.ptr()) &&
        code_of(full_name, code) && pack_quote(server_time, type, price, volume, is_valid, row)) {
        std::memcpy(row + packed_quote::kFullName, &code, sizeof code);
        append_packed_row(row);
        return;
    }
    // A row that only marks its place; its values go to the lists, right after it.
    std::memset(row + packed_quote::kTypeValue, 0, packed_quote::kSize - packed_quote::kTypeValue);
    row[packed_quote::kFlags] = static_cast<char>(packed_quote::kInLists);
    append_packed_row(row);
    try {
        append({received(), server_time, full_name, type, price, volume, is_valid});
    } catch (...) {
        // The marker goes with the row it marks (shrinking by one row cannot fail).
        PyObject *packed = packed_quotes_.ptr();
        PyByteArray_Resize(packed, PyByteArray_GET_SIZE(packed) - packed_quote::kSize);
        throw;
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

} // namespace corvane::gatelink
