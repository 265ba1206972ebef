#include "constant_texts.hpp"

#include "interned_names.hpp"

namespace cqgglue {

namespace {

Py_hash_t hash_of(nb::handle value) {
    Py_hash_t hash = PyObject_Hash(value.ptr());
    if (hash == -1)
        throw nb::python_error();
    return hash;
}

// The dict's test of a stored key against the value looked up: the same hash, then
// identity or `key == value`.
bool same_key(const ConstantKey &key, nb::handle value, Py_hash_t hash) {
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

ConstantTexts::Table &ConstantTexts::table_of(const ConstantTextList &entries) {
    auto found = tables_.find(&entries);
    if (found != tables_.end())
        return found->second;
    Table table;
    for (const ConstantText &entry : entries) {
        table.constants.push_back(pyglue::interned(entry.constant));
        table.texts.push_back(nb::str(entry.text));
    }
    return tables_.emplace(&entries, std::move(table)).first->second;
}

// Every constant is read and hashed, in order, as building the table would: a missing or
// unhashable one fails the call whatever value is asked for. The values are kept while the
// namespace stays as it was (plain ints only: their hash cannot change) and read again after
// any change to it.
std::shared_ptr<const ConstantTexts::Keys> ConstantTexts::current_keys(Table &table) {
    ComConstants constants;
    if (table.keys && constants.unchanged_since(table.read_from))
        return table.keys;
    table.keys.reset();
    table.read_from = {};
    auto keys = std::make_shared<Keys>();
    keys->reserve(table.constants.size());
    bool plain_ints = true;
    for (nb::handle name : table.constants) {
        nb::object constant = constants.get(name);
        plain_ints = plain_ints && PyLong_CheckExact(constant.ptr());
        Py_hash_t hash = hash_of(constant);
        keys->push_back(ConstantKey{std::move(constant), hash});
    }
    if (plain_ints) {
        table.keys = keys;
        table.read_from = constants.version();
    }
    return keys;
}

nb::object ConstantTexts::text_of(const ConstantTextList &entries, nb::handle value) {
    Table &table = table_of(entries);
    // Held here: comparing the value may run Python code that reads the table again.
    std::shared_ptr<const Keys> keys = current_keys(table);
    Py_hash_t hash = hash_of(value);
    // The last constant equal to the value holds the text the table would keep for it.
    for (std::size_t i = keys->size(); i-- > 0;)
        if (same_key((*keys)[i], value, hash))
            return table.texts[i];
    raise_key_error(value);
}

} // namespace cqgglue
