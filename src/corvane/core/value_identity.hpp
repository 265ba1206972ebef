// The value identity of a plain Security: what makes two securities the same instrument.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::security {

namespace nb = nanobind;

// Security.__eq__: code, then name, then the value behind the exchange. Lot size, expiry,
// currency and the concrete type do not count, so a plain Security equals any kind that
// agrees on those three.
bool security_equals(nb::handle self, nb::handle other);

// Security.__hash__: the text hash of "name|code|exchange value", so that securities equal
// under security_equals hash alike.
Py_ssize_t security_hash(nb::handle self);

} // namespace corvane::security
