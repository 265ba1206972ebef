#include "interned_names.hpp"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

namespace pyglue {

namespace {

struct Entry {
    std::string text;
    nb::str name;
};

// Names come from string literals nearly always: a call is matched by the address of its
// text first (checked against the text, since a caller's buffer may be reused), in a small
// table indexed by bits of the address, then by the text itself. The cache is never freed: its
// strings must stay valid for every module, and nothing may release a Python object after the
// interpreter has ended.
constexpr std::size_t kAddressSlots = 1024; // a power of two

struct AddressSlot {
    const char *address = nullptr;
    const Entry *entry = nullptr;
};

struct NameCache {
    std::unordered_map<std::string, std::unique_ptr<Entry>> by_text;
    AddressSlot by_address[kAddressSlots];
};

// Literals lie a few bytes apart: the low bits below the alignment carry little.
std::size_t slot_of(const char *address) {
    auto bits = reinterpret_cast<std::uintptr_t>(address);
    return static_cast<std::size_t>((bits ^ (bits >> 10)) & (kAddressSlots - 1));
}

NameCache &cache() {
    static NameCache *names = new NameCache();
    return *names;
}

} // namespace

nb::handle interned(const char *name) {
    NameCache &names = cache();
    AddressSlot &slot = names.by_address[slot_of(name)];
    if (slot.address == name && std::strcmp(slot.entry->text.c_str(), name) == 0)
        return slot.entry->name;

    auto by_text = names.by_text.find(name);
    if (by_text == names.by_text.end()) {
        nb::str made = nb::steal<nb::str>(PyUnicode_InternFromString(name));
        if (!made.is_valid())
            throw nb::python_error();
        auto entry = std::make_unique<Entry>(Entry{name, std::move(made)});
        by_text = names.by_text.emplace(entry->text, std::move(entry)).first;
    }
    slot = {name, by_text->second.get()};
    return by_text->second->name;
}

} // namespace pyglue
