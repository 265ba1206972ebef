#include "internals.hpp"

#include <structmember.h>

#include "interned_names.hpp"
#include "safe_access.hpp"
#include "truth.hpp"

namespace pyglue::internals {

// ---- nanobind -------------------------------------------------------------------------------
// NB_MODULE's own expansion in nanobind 2.15 (nb_defs.h), the version pyproject.toml pins.

void nanobind_module_exec(PyObject *module) {
    nanobind::detail::nb_module_exec(NB_DOMAIN_STR, module);
}

void nanobind_module_free(void *module) { nanobind::detail::nb_module_free(module); }

// ---- CPython: dicts and types ---------------------------------------------------------------
// CPython 3.11 exports the dict's look-up and store with a known hash (dictobject.h's
// _PyDict_GetItem_KnownHash, _PyDict_SetItem_KnownHash), keeps a version tag in every dict
// (ma_version_tag, PEP 509) and in every class (tp_version_tag, valid while
// Py_TPFLAGS_VALID_VERSION_TAG is set).

PyObject *dict_item_with_hash(PyObject *dict, PyObject *key, Py_hash_t hash) {
    return _PyDict_GetItem_KnownHash(dict, key, hash);
}

int dict_store_with_hash(PyObject *dict, PyObject *key, PyObject *value, Py_hash_t hash) {
    return _PyDict_SetItem_KnownHash(dict, key, value, hash);
}

std::uint64_t dict_version(PyObject *dict) {
    return reinterpret_cast<PyDictObject *>(dict)->ma_version_tag;
}

nb::object dict_behind_proxy(nb::handle proxy) {
    if (!PyObject_TypeCheck(proxy.ptr(), &PyDictProxy_Type))
        return nb::object();
    nb::object referents = nb::module_::import_("gc").attr("get_referents")(proxy);
    if (!PyList_CheckExact(referents.ptr()) || PyList_GET_SIZE(referents.ptr()) != 1)
        return nb::object();
    PyObject *mapping = PyList_GET_ITEM(referents.ptr(), 0);
    return PyDict_CheckExact(mapping) ? nb::borrow(mapping) : nb::object();
}

unsigned int type_version(PyTypeObject *type) {
    return PyType_HasFeature(type, Py_TPFLAGS_VALID_VERSION_TAG) ? type->tp_version_tag : 0;
}

// ---- dataclasses ----------------------------------------------------------------------------
// dataclasses (3.11) keeps a class's fields in `__dataclass_fields__` (a dict of Field, the
// ClassVar and InitVar pseudo-fields included, told apart by Field._field_type against
// _FIELD_CLASSVAR and _FIELD_INITVAR), its parameters in `__dataclass_params__`, and compiles
// the __init__ it writes from text inside `__create_fn__`, closing over `object` as
// `__dataclass_builtins_object__`. Field keeps its attributes in slots.

static const Name kDataclassFields("__dataclass_fields__"),
    kDataclassParams("__dataclass_params__"), kFieldType("_field_type"), kInit("__init__");

nb::object dataclass_fields(nb::handle class_or_record) {
    return read(class_or_record, kDataclassFields);
}

nb::object dataclass_fields_or_nothing(nb::handle class_or_record) {
    PyObject *fields = PyObject_GetAttr(class_or_record.ptr(), kDataclassFields.get().ptr());
    if (!fields)
        PyErr_Clear();
    return nb::steal(fields);
}

bool dataclass_frozen(nb::handle record_class) {
    nb::object params = read(record_class, kDataclassParams);
    return is_true(read(params, "frozen"));
}

FieldKind field_kind(nb::handle field) {
    nb::module_ dataclasses = nb::module_::import_("dataclasses");
    nb::object init_var_kind = read(dataclasses, "_FIELD_INITVAR");
    nb::object class_var_kind = read(dataclasses, "_FIELD_CLASSVAR");
    nb::object kind = read(field, kFieldType);
    if (kind.is(class_var_kind))
        return FieldKind::ClassVar;
    return kind.is(init_var_kind) ? FieldKind::InitVar : FieldKind::Plain;
}

namespace {

const char *const kFieldAttributes[4] = {"name", "init", "_field_type", "default"};

// Where dataclasses.Field keeps the four attributes: each is a slot, read through the slot's
// member descriptor by an ordinary attribute look-up. While Field is unchanged (its version
// tag the one it had when the slots were found), a field's values are read straight from
// those slots.
struct FieldSlots {
    PyTypeObject *type = nullptr;
    unsigned int version = 0; // 0: read by attribute look-up
    Py_ssize_t offsets[4] = {};
};

// Found once `field` (a Field) has been read by attribute look-up, which gives Field a
// version tag. The type found is held for the life of the process and deliberately never
// released (nothing may be released after the interpreter has ended).
FieldSlots &field_slots(nb::handle field) {
    static FieldSlots slots;
    auto *type = Py_TYPE(field.ptr());
    if (slots.type != nullptr && type_version(slots.type) == slots.version)
        return slots;
    nb::object field_class = read(nb::module_::import_("dataclasses"), "Field");
    if (reinterpret_cast<PyObject *>(type) != field_class.ptr())
        return slots; // found later, from a field of Field itself
    if (slots.type != type)
        slots.type = reinterpret_cast<PyTypeObject *>(nb::borrow(field_class).release().ptr());
    slots.version = 0;
    for (int i = 0; i < 4; ++i) {
        PyObject *descriptor = PyDict_GetItemString(type->tp_dict, kFieldAttributes[i]);
        if (!descriptor || !Py_IS_TYPE(descriptor, &PyMemberDescr_Type))
            return slots;
        PyMemberDef *member = reinterpret_cast<PyMemberDescrObject *>(descriptor)->d_member;
        if (member->type != T_OBJECT_EX || (member->flags & READ_RESTRICTED))
            return slots;
        slots.offsets[i] = member->offset;
    }
    slots.version = type_version(type);
    return slots;
}

// obj.<name>, or an invalid object (and no error) when the look-up fails.
nb::object read_or_nothing(nb::handle obj, nb::handle name) {
    PyObject *value = PyObject_GetAttr(obj.ptr(), name.ptr());
    if (!value)
        PyErr_Clear();
    return nb::steal(value);
}

bool text_is(nb::handle value, const char *text) {
    return PyUnicode_Check(value.ptr()) && PyUnicode_CompareWithASCIIString(value.ptr(), text) == 0;
}

// Whether every item of the tuple `names` is a str that `allowed` accepts.
template <typename Allowed> bool all_names(nb::handle names, Allowed allowed) {
    if (!PyTuple_Check(names.ptr()))
        return false;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(names.ptr()); ++i) {
        nb::handle name = PyTuple_GET_ITEM(names.ptr(), i);
        if (!PyUnicode_Check(name.ptr()) || !allowed(name))
            return false;
    }
    return true;
}

} // namespace

FieldState field_state(nb::handle field) {
    FieldState state;
    const FieldSlots &slots = field_slots(field);
    bool by_slot = slots.version != 0 && Py_TYPE(field.ptr()) == slots.type &&
                   type_version(slots.type) == slots.version;
    for (int i = 0; i < 4; ++i) {
        if (by_slot) {
            auto *slot = reinterpret_cast<PyObject **>(reinterpret_cast<char *>(field.ptr()) +
                                                       slots.offsets[i]);
            state.values[i] = nb::borrow(*slot);
        } else {
            state.values[i] = read_or_nothing(field, interned(kFieldAttributes[i]));
        }
    }
    return state;
}

bool FieldState::same_as(const FieldState &other) const {
    for (int i = 0; i < 4; ++i)
        if (!values[i].is_valid() || values[i].ptr() != other.values[i].ptr())
            return false;
    return true;
}

// Recognised by what only dataclasses' own function gives it: it is compiled inside
// `__create_fn__` (and from "<string>"), and its body does nothing but set the fields, each
// from its parameter (self.a=a, or object.__setattr__ for a frozen class; no default factory,
// no __post_init__). A user's __init__ compiled from text (exec, python -c, a code-generating
// decorator) is not taken for it.
bool init_is_generated(nb::handle record_class, nb::handle init,
                       const std::function<bool(nb::handle)> &is_field_name) {
    nb::object own = read(record_class, "__dict__");
    nb::object defined = nb::steal(PyObject_GetItem(own.ptr(), kInit.get().ptr()));
    if (!defined.is_valid()) {
        PyErr_Clear();
        return false;
    }
    if (!defined.is(init))
        return false;
    nb::object code = read(init, "__code__");
    if (!text_is(read(code, "co_filename"), "<string>") ||
        !text_is(read(code, "co_qualname"), "__create_fn__.<locals>.__init__"))
        return false;
    // The attributes it sets (or object.__setattr__, for a frozen class) ...
    bool sets_fields_only = all_names(read(code, "co_names"), [&](nb::handle name) {
        return is_field_name(name) || text_is(name, "__setattr__");
    });
    // ... and what it closes over: at most dataclasses' own reference to object.
    nb::object free = read(code, "co_freevars");
    bool closes_over_object_only = all_names(free, [](nb::handle name) {
        return text_is(name, "__dataclass_builtins_object__");
    });
    if (!sets_fields_only || !closes_over_object_only)
        return false;
    if (PyTuple_GET_SIZE(free.ptr()) == 0)
        return true;
    nb::object closure = read(init, "__closure__");
    if (!PyTuple_Check(closure.ptr()) || PyTuple_GET_SIZE(closure.ptr()) != 1)
        return false;
    nb::object cell_contents = read(nb::handle(PyTuple_GET_ITEM(closure.ptr(), 0)),
                                    "cell_contents");
    return cell_contents.is(nb::handle(reinterpret_cast<PyObject *>(&PyBaseObject_Type)));
}

// ---- pywin32 --------------------------------------------------------------------------------
// win32com.client.constants (pywin32's Constants) keeps one mapping per loaded type library
// in its instance attribute `__dicts__`, a list its __getattr__ searches in order.

static const Name kDicts("__dicts__");

nb::object constants_libraries(nb::handle constants) {
    nb::object own = nb::steal(PyObject_GenericGetDict(constants.ptr(), nullptr));
    if (!own.is_valid()) { // no instance dict at all
        PyErr_Clear();
        return nb::object();
    }
    PyObject *found = PyDict_GetItemWithError(own.ptr(), kDicts.get().ptr());
    if (!found) {
        if (PyErr_Occurred())
            throw nb::python_error();
        return nb::object();
    }
    if (!PyList_CheckExact(found))
        return nb::object();
    return nb::borrow(found);
}

} // namespace pyglue::internals
