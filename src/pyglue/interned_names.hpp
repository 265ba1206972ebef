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

} // namespace pyglue
