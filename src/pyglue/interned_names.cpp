#include "interned_names.hpp"

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
// text first (checked against the text, since a caller's buffer may be reused), then by the
// text itself. The cache is never freed: its strings must stay valid for every module, and
// nothing may release a Python object after the interpreter has ended.
struct NameCache {
    std::unordered_map<std::string, std::unique_ptr<Entry>> by_text;
    std::unordered_map<const char *, const Entry *> by_address;
};

// Addresses of texts that are not literals could pile up; the by-text map stays exact.
constexpr std::size_t kMaxAddresses = 4096;

NameCache &cache() {
    static NameCache *names = new NameCache();
    return *names;
}

} // namespace

nb::handle interned(const char *name) {
    NameCache &names = cache();
    auto by_address = names.by_address.find(name);
    if (by_address != names.by_address.end() &&
        std::strcmp(by_address->second->text.c_str(), name) == 0)
        return by_address->second->name;

    auto by_text = names.by_text.find(name);
    if (by_text == names.by_text.end()) {
        nb::str made = nb::steal<nb::str>(PyUnicode_InternFromString(name));
        if (!made.is_valid())
            throw nb::python_error();
        auto entry = std::make_unique<Entry>(Entry{name, std::move(made)});
        by_text = names.by_text.emplace(entry->text, std::move(entry)).first;
    }
    if (names.by_address.size() >= kMaxAddresses)
        names.by_address.clear();
    names.by_address[name] = by_text->second.get();
    return by_text->second->name;
}

} // namespace pyglue
