// Tables that name CQG's constants (quote types, tick price types): a dict from the value of
// each named constant of win32com.client.constants to its text, built afresh on every call
// from the constants as they are at that moment. Built in the order given, so that of two
// constants with one value the later one's text is kept, as in a dict display.
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

// Names a constant's value through a table built now. Only the Python strings of the names
// and texts are made once per list; the values are read on every call (an unknown constant
// raises AttributeError, as before the type library is loaded).
class ConstantTexts {
public:
    // table[value]: the text, or KeyError(value).
    nb::object text_of(const ConstantTextList &entries, nb::handle value);

private:
    struct Strings {
        std::vector<nb::str> constants;
        std::vector<nb::str> texts;
    };
    const Strings &strings_of(const ConstantTextList &entries);

    std::unordered_map<const ConstantTextList *, Strings> strings_;
};

} // namespace gatelink
