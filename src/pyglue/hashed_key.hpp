// A key that is looked up in a dict and then stored into it again, hashed once for both.
// Every quote and order book is filed under its security, whose hash walks six fields: the
// look-up of the latest record and the store of its copy need that hash only once. The
// store equals `mapping[key] = value` whatever ran in between (the dict emptied, resized,
// filled with colliding keys), for every key that keeps Python's rule that a hashable
// object's hash never changes; a key that breaks it is filed under its first hash.
#pragma once

#include <nanobind/nanobind.h>

namespace pyglue {

namespace nb = nanobind;

class HashedKey {
public:
    // `key` must outlive this (it is borrowed).
    explicit HashedKey(nb::handle key) : key_(key) {}

    nb::handle key() const { return key_; }

    // mapping[key], with the KeyError or the mapping's own failure as `mapping[key]` gives it.
    nb::object item_of(nb::handle mapping);

    // mapping[key] = value
    void store_in(nb::handle mapping, nb::handle value);

private:
    // Whether the key's hash can be used with `mapping`: a plain dict (any other mapping
    // is indexed as it is, and may not hash its keys at all). Hashes the key the first time.
    bool known_hash_for(nb::handle mapping);

    nb::handle key_;
    Py_hash_t hash_ = -1;
};

} // namespace pyglue
