// Tables that name CQG's constants (quote types, tick price types): the text of a value is
// what a dict from the value of each named constant of win32com.client.constants to its text,
// built afresh on every call from the constants as they are at that moment, would give.
// Two constants with one value give the later one's text, as in a dict display.
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

// Names a constant's value by the constants as they are now. Only the Python strings of the
// names and texts are made once per list; every constant is read on every call (an unknown
// one raises AttributeError, as before the type library is loaded), but no dict is built.
class ConstantTexts {
public:
    // table[value]: the text, or KeyError(value).
    nb::object text_of(const ConstantTextList &entries, nb::handle value);

private:
    struct Strings {
        std::vector<nb::handle> constants; // interned, kept for the process's life
        std::vector<nb::str> texts;
    };
    const Strings &strings_of(const ConstantTextList &entries);

    std::unordered_map<const ConstantTextList *, Strings> strings_;
};

} // namespace gatelink
