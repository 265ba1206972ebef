// The one place that leans on parts of CPython, nanobind, dataclasses and pywin32 that
// none of them promises to keep: each function here names the contract it relies on, and
// docs/architecture.md ("Private contracts") lists the test that guards it and what it buys.
// Everything else in the tree uses only what these projects document.
#pragma once

#include <nanobind/nanobind.h>

#include <cstdint>
#include <functional>

// Each contract below has been checked against CPython 3.11 (the package allows no other),
// and nanobind is pinned for the same reason (pyproject.toml): any other interpreter stops
// the build here rather than at a crash.
#if PY_VERSION_HEX < 0x030B0000 || PY_VERSION_HEX >= 0x030C0000
#error "corvane's native modules are built for CPython 3.11 only (see src/pyglue/internals.hpp)"
#endif

namespace pyglue::internals {

namespace nb = nanobind;

// ---- nanobind -------------------------------------------------------------------------------

// What NB_MODULE's exec slot does before the module's own code runs (nanobind's domain set up,
// its internals attached), and the m_free it gives the module definition.
void nanobind_module_exec(PyObject *module);
void nanobind_module_free(void *module);

// ---- CPython: dicts and types ---------------------------------------------------------------

// dict[key] for a plain dict, with the key's hash given: borrowed, or nullptr (a Python error
// set when the look-up failed, none when the key is absent).
PyObject *dict_item_with_hash(PyObject *dict, PyObject *key, Py_hash_t hash);

// dict[key] = value for a plain dict, with the key's hash given; -1 with a Python error set.
int dict_store_with_hash(PyObject *dict, PyObject *key, PyObject *value, Py_hash_t hash);

// The dict's version: changed by every change to the dict, and never the same for two
// changes anywhere in the process.
std::uint64_t dict_version(PyObject *dict);

// The dict a mappingproxy reads (gc.get_referents names exactly it); invalid when `proxy` is
// no mappingproxy or what it reads is no plain dict.
nb::object dict_behind_proxy(nb::handle proxy);

// The class's version tag, dropped whenever the class or one of its bases changes and never
// given again; 0 when it has none now.
unsigned int type_version(PyTypeObject *type);

// ---- dataclasses ----------------------------------------------------------------------------

// The dataclass's table of fields (`__dataclass_fields__`, ClassVar and InitVar pseudo-fields
// included) as read from a class or a record: raising as the attribute look-up raises, or, in
// the second form, invalid with no error set for anything that has none.
nb::object dataclass_fields(nb::handle class_or_record);
nb::object dataclass_fields_or_nothing(nb::handle class_or_record);

// Whether the dataclass was declared frozen.
bool dataclass_frozen(nb::handle record_class);

// What kind of field a Field of that table declares; raises when it has no kind.
enum class FieldKind { Plain, ClassVar, InitVar };
FieldKind field_kind(nb::handle field);

// The four attributes of a Field that replace() reads (name, init, its kind, default), each
// owned, or invalid when the Field lacks it. A Field of dataclasses.Field itself is read from
// its slots while Field is unchanged, any other by attribute look-up.
struct FieldState {
    nb::object values[4];

    // Whether all four are present and the same objects as in `other`.
    bool same_as(const FieldState &other) const;
};
FieldState field_state(nb::handle field);

// Whether `init` is the __init__ dataclasses generated for `record_class`, doing nothing but
// set the fields (each a name `is_field_name` accepts) from its parameters.
bool init_is_generated(nb::handle record_class, nb::handle init,
                       const std::function<bool(nb::handle)> &is_field_name);

// ---- pywin32 --------------------------------------------------------------------------------

// The list win32com.client.constants searches after ordinary attribute access (`__dicts__`,
// one mapping per loaded type library), read from the namespace's instance dict so that a
// stand-in's __getattr__ is never asked; invalid when it has none that is a plain list.
nb::object constants_libraries(nb::handle constants);

} // namespace pyglue::internals
