#include "scenario_market.hpp"

#include "scenario_input.hpp"
#include "market/cqg_constants.hpp"

#include <nanobind/stl/string.h>

#include <set>
#include <string>

namespace cqgemu {

namespace {

InstrumentTerms instrument_from(nb::handle value) {
    nb::dict entry = as_dict(value, "an instrument");
    require_known_keys(entry, {"full_name", "price", "tick_size"}, "an instrument");
    nb::object name = entry_or_none(entry, "full_name");
    if (name.is_none())
        fail(PyExc_ValueError, "an instrument needs a 'full_name'");
    InstrumentTerms terms;
    terms.full_name = text_from(name, "an instrument's full_name");
    if (terms.full_name.empty())
        fail(PyExc_ValueError, "an instrument's full_name must not be empty");
    terms.price = number_from(entry_or_none(entry, "price"), "an instrument's price");
    nb::object tick = entry_or_none(entry, "tick_size");
    terms.tick_size = tick.is_none() ? 0.01 : number_from(tick, "an instrument's tick_size");
    if (!(terms.price > 0) || !(terms.tick_size > 0))
        fail(PyExc_ValueError, terms.full_name + " needs a price and a tick_size above zero");
    return terms;
}

// A constant of `enumeration` named by text, or a raw int taken as it is.
long type_from(nb::handle value, const char *enumeration, const char *what) {
    if (PyUnicode_Check(value.ptr())) {
        std::string name = nb::cast<std::string>(value);
        // By name: the values of different enumerations overlap.
        for (const Enumeration &known : cqg_enumerations())
            if (std::string(known.name) == enumeration)
                for (const char *member : known.members)
                    if (name == member)
                        return *cqg_constant(name);
        fail(PyExc_ValueError, std::string("no ") + what + " named '" + name + "'");
    }
    return integer_from(value, what);
}

nb::tuple as_tuple(nb::handle value, size_t least, size_t most, const char *what) {
    if (!PyTuple_Check(value.ptr()) && !PyList_Check(value.ptr()))
        fail(PyExc_TypeError, std::string(what) + " must be a tuple");
    nb::tuple items = nb::tuple(nb::borrow(value));
    if (items.size() < least || items.size() > most)
        fail(PyExc_ValueError, std::string(what) + " has " + std::to_string(least) + " to " +
                                   std::to_string(most) + " items");
    return items;
}

double bar_field(nb::dict entry, const char *key) {
    nb::object value = entry_or_none(entry, key);
    if (value.is_none())
        fail(PyExc_ValueError, std::string("a bar needs '") + key + "'");
    return number_from(value, key);
}

} // namespace

std::vector<InstrumentTerms> instruments_from_python(nb::handle instruments) {
    if (instruments.is_none())
        return MarketSettings::default_instruments();
    std::vector<InstrumentTerms> result;
    std::set<std::string> names;
    for (nb::handle value : nb::iter(instruments)) {
        InstrumentTerms terms = instrument_from(value);
        if (!names.insert(terms.full_name).second)
            fail(PyExc_ValueError, "two instruments are named " + terms.full_name);
        result.push_back(terms);
    }
    return result;
}

std::vector<QuoteValue> quotes_from_python(nb::handle quotes) {
    std::vector<QuoteValue> result;
    for (nb::handle value : nb::iter(quotes)) {
        nb::tuple items = as_tuple(value, 2, 4, "a quote");
        QuoteValue quote{type_from(items[0], "eQuoteType", "quote type"),
                         number_from(items[1], "a quote's price"), 0.0, true};
        if (items.size() > 2) {
            nb::handle valid = items[2];
            if (!PyBool_Check(valid.ptr()))
                fail(PyExc_TypeError, "a quote's is_valid must be a bool");
            quote.valid = valid.ptr() == Py_True;
        }
        if (items.size() > 3)
            quote.volume = number_from(items[3], "a quote's volume");
        result.push_back(quote);
    }
    return result;
}

std::vector<TickValue> ticks_from_python(nb::handle ticks, double time) {
    std::vector<TickValue> result;
    for (nb::handle value : nb::iter(ticks)) {
        nb::tuple items = as_tuple(value, 3, 3, "a tick");
        result.push_back({type_from(items[0], "eTickPriceType", "tick price type"),
                          number_from(items[1], "a tick's price"),
                          number_from(items[2], "a tick's volume"), time});
    }
    return result;
}

std::vector<MarketBar> bars_from_python(nb::handle bars) {
    std::vector<MarketBar> result;
    for (nb::handle value : nb::iter(bars)) {
        nb::dict entry = as_dict(value, "a bar");
        require_known_keys(entry, {"open", "high", "low", "close", "volume"}, "a bar");
        MarketBar bar;
        bar.open = bar_field(entry, "open");
        bar.high = bar_field(entry, "high");
        bar.low = bar_field(entry, "low");
        bar.close = bar_field(entry, "close");
        bar.volume = bar_field(entry, "volume");
        bar.tick_volume = bar.volume == INVALID_BAR_VALUE ? INVALID_BAR_VALUE : 1.0;
        result.push_back(bar);
    }
    return result;
}

} // namespace cqgemu
