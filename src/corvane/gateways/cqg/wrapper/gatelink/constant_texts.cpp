#include "constant_texts.hpp"

#include "com_platform.hpp"
#include "interned_names.hpp"

namespace gatelink {

namespace {

// A constant as a key of the table: its value and the hash the dict would file it under.
struct Key {
    nb::object value;
    Py_hash_t hash;
};

Py_hash_t hash_of(nb::handle value) {
    Py_hash_t hash = PyObject_Hash(value.ptr());
    if (hash == -1)
        throw nb::python_error();
    return hash;
}

// The dict's test of a stored key against the value looked up: the same hash, then
// identity or `key == value`.
bool same_key(const Key &key, nb::handle value, Py_hash_t hash) {
    if (key.hash != hash)
        return false;
    if (key.value.is(value))
        return true;
    int equal = PyObject_RichCompareBool(key.value.ptr(), value.ptr(), Py_EQ);
    if (equal < 0)
        throw nb::python_error();
    return equal == 1;
}

[[noreturn]] void raise_key_error(nb::handle value) {
    // Made as the dict makes it, so that a tuple value stays one argument.
    nb::object error = nb::steal(PyObject_CallOneArg(PyExc_KeyError, value.ptr()));
    if (!error.is_valid())
        throw nb::python_error();
    PyErr_SetObject(PyExc_KeyError, error.ptr());
    throw nb::python_error();
}

} // namespace

const ConstantTexts::Strings &ConstantTexts::strings_of(const ConstantTextList &entries) {
    auto found = strings_.find(&entries);
    if (found != strings_.end())
        return found->second;
    Strings strings;
    for (const ConstantText &entry : entries) {
        strings.constants.push_back(pyglue::interned(entry.constant));
        strings.texts.push_back(nb::str(entry.text));
    }
    return strings_.emplace(&entries, std::move(strings)).first->second;
}

nb::object ConstantTexts::text_of(const ConstantTextList &entries, nb::handle value) {
    const Strings &strings = strings_of(entries);
    std::size_t count = strings.constants.size();
    // Every constant is read and hashed, in order, as building the table would: a missing
    // or unhashable one fails the call whatever value is asked for.
    pyglue::ComConstants constants;
    std::vector<Key> keys;
    keys.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        nb::object constant = constants.get(strings.constants[i]);
        Py_hash_t hash = hash_of(constant);
        keys.push_back(Key{std::move(constant), hash});
    }
    Py_hash_t hash = hash_of(value);
    // The last constant equal to the value holds the text the table would keep for it.
    for (std::size_t i = count; i-- > 0;)
        if (same_key(keys[i], value, hash))
            return strings.texts[i];
    raise_key_error(value);
}

} // namespace gatelink
