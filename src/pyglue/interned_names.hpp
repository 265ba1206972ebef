// Names of members, globals and modules as interned Python strings, each made once and kept
// for the life of the process. A look-up by an interned name needs no new string, no hashing
// (a str keeps its hash) and finds its key by identity, where a name made afresh from C text
// is built, hashed, compared character by character and freed on every look-up.
#pragma once

#include <nanobind/nanobind.h>

namespace pyglue {

namespace nb = nanobind;

// The interned str of `name` (borrowed: the cache keeps it). Called with the GIL held.
nb::handle interned(const char *name);

// A name written once in the code, kept as a constant of the file that uses it: interned
// on its first use, then handed out with no look-up at all. For the names a handler reads
// on every event; `text` must be a string literal.
class Name {
public:
    explicit constexpr Name(const char *text) : text_(text) {}

    // The interned str. Called with the GIL held (which also orders the first use).
    nb::handle get() const {
        if (!name_.is_valid())
            name_ = interned(text_);
        return name_;
    }
    operator nb::handle() const { return get(); }
    const char *text() const { return text_; }

private:
    const char *text_;
    mutable nb::handle name_;
};

} // namespace pyglue
