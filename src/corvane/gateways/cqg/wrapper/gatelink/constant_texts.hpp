// Tables that name CQG's constants (quote types, tick price types): a dict from the value of
// each named constant of win32com.client.constants to its text. Built in the order given,
// so that of two constants with one value the later one's text is kept, as in a dict display.
#pragma once

#include <nanobind/nanobind.h>

#include <unordered_map>
#include <vector>

namespace gatelink {

namespace nb = nanobind;

struct ConstantText {
    const char *constant; // name in the type library
    const char *text;
};

using ConstantTextList = std::vector<ConstantText>;

// The table built now, from the constants as they are at this moment (an unknown constant
// raises AttributeError, as before the type library is loaded).
nb::dict build_constant_texts(const ConstantTextList &entries);

// table[value]: the text, or KeyError(value).
nb::object text_of_constant(nb::handle table, nb::handle value);

// The event handlers name a constant per quote or tick; a loaded type library's constants do
// not change, so their table is built on first use and kept (a failed build keeps nothing).
class ConstantTextCache {
public:
    nb::object text_of(const ConstantTextList &entries, nb::handle value);

private:
    std::unordered_map<const ConstantTextList *, nb::dict> tables_;
};

} // namespace gatelink
