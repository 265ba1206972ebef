// The hook of a market recorder (corvane.recording.Recorder) in the market handlers. A
// recorder is attached as the attribute `market_recorder` of the framework gateway (so that
// it can be attached before the gateway connects); each handler looks it up once per event,
// in the gateway's own attributes only, so that an absent recorder costs one dictionary
// look-up and changes nothing. The recorder's members are taken from its own attributes too
// where they are there (as a Recorder's are), else read as any attribute. With one, the handler appends each value it read from CQG to
// its column (a list) of the recorder's columns of that kind (a tuple of lists): no object
// is made per quote, tick or bar. The recorder's own thread writes them out.
//
// A recorder that also has `packed_quotes` (a bytearray) and `quote_names` (a dict) gets the
// quotes whose values are plain (see append_packed_quote) as fixed-size rows of native
// numbers instead: its thread then turns a second of quotes into columns without a Python
// object per value. Other quotes go to the lists as before.
#pragma once

#include <nanobind/nanobind.h>

#include <cstdint>
#include <initializer_list>

#include "interned_names.hpp"

namespace corvane::gatelink {

namespace nb = nanobind;

class MarketRecording {
public:
    enum class Kind { Quotes, Ticks, Bars };

    // The columns of `kind` of the recorder attached to `gateway`, or an empty recording.
    static MarketRecording of(nb::handle gateway, Kind kind);

    explicit operator bool() const { return columns_.is_valid(); }

    // When the event was received: UTC nanoseconds, strictly increasing from one event to
    // the next, so that the recording's order is the order the events arrived in. Made an
    // int only when a row of lists needs it (packed quotes carry the number itself).
    nb::handle received() const;

    // Appends one row, each value to its column (an empty handle as None). The columns keep
    // one length: the writer, which takes a row only once all its columns have it, runs only
    // between two rows, as nothing here lets go of the GIL.
    void append(std::initializer_list<nb::handle> values) const;

    // Appends a quote's row: (received, server_time, full_name, type, price, volume,
    // is_valid). With packed rows, a quote whose values are plain (a datetime or no server
    // time, a str name, an int type, a float price, a float or int volume or none, a bool
    // validity)
    // becomes one packed row; any other becomes a row marked "in the lists" followed by its
    // values appended to the lists, so that the packed rows keep the order of all quotes.
    void append_quote(nb::handle server_time, nb::handle full_name, nb::handle type,
                      nb::handle price, nb::handle volume, nb::handle is_valid);

    // obj.<name>, a member only the recording reads: read once, and a failing read recorded
    // as None (the gateway's own handling must not fail because of the recorder).
    static nb::object read_or_none(nb::handle obj, const pyglue::Name &name);

    // obj.<name> into `slot` (unless read already), for a member the gateway may read after
    // the recording: it then takes the value from the slot instead of reading it again. A
    // failing read leaves the slot empty (recorded as None), so that the gateway's own read
    // fails as it would have.
    static void read_into(nb::object &slot, nb::handle obj, const pyglue::Name &name);

    // A quote's ServerTimestamp, or None where the quotes have none: the first quote that
    // lacks the member clears the recorder's `quote_server_time`, and no later quote is asked.
    nb::object quote_server_time(nb::handle quote);

private:
    nb::object recorder_;
    nb::object columns_;
    mutable nb::object received_;
    std::int64_t received_ns_ = 0;
    bool quote_server_time_ = false;
    nb::object packed_quotes_; // bytearray of packed rows, or none
    nb::object quote_names_;   // full name -> its code in the packed rows
    nb::object last_name_;     // the name last coded, and its code: one per event
    std::int32_t last_code_ = 0;

    bool code_of(nb::handle full_name, std::int32_t &code);
    static bool pack_quote(nb::handle server_time, nb::handle type, nb::handle price,
                           nb::handle volume, nb::handle is_valid, char *row);
    void append_packed_row(const char *row);
};

// The packed quote row (native byte order), as corvane.recording reads it.
namespace packed_quote {
constexpr Py_ssize_t kReceived = 0, kTypeValue = 8, kPrice = 16, kVolume = 24, kServerTime = 32,
                     kFullName = 40, kFlags = 44, kSize = 48;
constexpr unsigned char kIsValid = 1, kHasVolume = 2, kInLists = 4, kHasServerTime = 8;
} // namespace packed_quote

// obj.<name>, unless `slot` already holds what the recording read of it.
nb::object read_once(nb::object &slot, nb::handle obj, const pyglue::Name &name);

} // namespace corvane::gatelink
