// The hash of a kind (Stock, Currency, Commodity, Futures): the hash of the tuple of its
// six fields, as the record type's own __hash__ gives it, computed without its Python frame.
// Every quote and order book is filed under its security, so this runs several times per
// market event.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::security {

namespace nb = nanobind;

// Makes `hash(instance)` of the record class `kind` compute its value here. The class keeps
// its own `__hash__` (what `kind.__hash__(x)` calls, with the same result); assigning
// `__hash__` on the class later takes over again, as it would for any class, and so does a
// subclass's own.
void hash_fields_natively(nb::handle kind);

} // namespace corvane::security
