// Tables that name CQG's constants (quote types, tick price types): the text of a value is
// what a dict from the value of each named constant of win32com.client.constants to its text,
// built afresh on every call from the constants as they are at that moment, would give.
// Two constants with one value give the later one's text, as in a dict display.
#pragma once

#include <nanobind/nanobind.h>

#include <memory>
#include <unordered_map>
#include <vector>

#include "com_platform.hpp"

namespace cqgglue {

namespace nb = nanobind;

struct ConstantText {
    const char *constant; // name in the type library
    const char *text;
};

using ConstantTextList = std::vector<ConstantText>;

// A constant as a key of the table: its value and the hash the dict would file it under.
struct ConstantKey {
    nb::object value;
    Py_hash_t hash;
};

// Names a constant's value by the constants as they are now. The Python strings of the
// names and texts are made once per list. The constants' values are read again whenever the
// namespace may have changed since they were last read (an unknown one raises
// AttributeError, as before the type library is loaded); no dict is built.
class ConstantTexts {
public:
    // table[value]: the text, or KeyError(value).
    nb::object text_of(const ConstantTextList &entries, nb::handle value);

private:
    using Keys = std::vector<ConstantKey>;

    struct Table {
        std::vector<nb::handle> constants; // interned, kept for the process's life
        std::vector<nb::str> texts;
        std::shared_ptr<const Keys> keys;         // the values as last read
        ComConstants::Version read_from; // valid while those are still current
    };
    Table &table_of(const ConstantTextList &entries);
    std::shared_ptr<const Keys> current_keys(Table &table);

    std::unordered_map<const ConstantTextList *, Table> tables_;
};

} // namespace cqgglue
