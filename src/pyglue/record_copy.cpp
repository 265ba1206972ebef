#include "record_copy.hpp"

#include "safe_access.hpp"
#include "truth.hpp"

namespace pyglue {

namespace {

// The class's own __init__ is the one dataclasses wrote (compiled from text, so its code comes
// from "<string>") and nothing runs after it: no __post_init__.
bool init_is_generated(nb::handle record_class) {
    nb::object params = read(record_class, "__dataclass_params__");
    if (!is_true(read(params, "init")) || nb::hasattr(record_class, "__post_init__"))
        return false;
    nb::object own = read(record_class, "__dict__");
    nb::object init = nb::steal(PyObject_GetItem(own.ptr(), nb::str("__init__").ptr()));
    if (!init.is_valid()) {
        PyErr_Clear();
        return false;
    }
    if (!PyFunction_Check(init.ptr()))
        return false;
    nb::object code = read(init, "__code__");
    nb::object file = read(code, "co_filename");
    return PyUnicode_Check(file.ptr()) &&
           PyUnicode_CompareWithASCIIString(file.ptr(), "<string>") == 0;
}

// An instance is made by object.__new__ and that __init__ sets each field as object.__setattr__
// does: always for a frozen class, and for another one when it keeps object's __setattr__.
bool sets_attributes_as_object(nb::handle record_class) {
    auto *type = reinterpret_cast<PyTypeObject *>(record_class.ptr());
    if (type->tp_new != PyBaseObject_Type.tp_new)
        return false;
    nb::object params = read(record_class, "__dataclass_params__");
    return is_true(read(params, "frozen")) || type->tp_setattro == PyObject_GenericSetAttr;
}

} // namespace

RecordCopier::RecordCopier(nb::handle record_class) : record_class_(nb::borrow(record_class)) {
    nb::module_ dataclasses = nb::module_::import_("dataclasses");
    replace_ = read(dataclasses, "replace");
    nb::object init_var_kind = read(dataclasses, "_FIELD_INITVAR");
    nb::object class_var_kind = read(dataclasses, "_FIELD_CLASSVAR");
    nb::object missing = read(dataclasses, "MISSING");

    // Every pseudo-field dataclasses.replace walks (InitVars too, ClassVars not), in class
    // order.
    nb::object declared = read(record_class, "__dataclass_fields__");
    nb::object values = call_method(declared, "values");
    bool all_plain_init_fields = true;
    for (nb::handle field : values) {
        nb::object name = read(field, "name");
        nb::object init = read(field, "init");
        nb::object kind = read(field, "_field_type");
        if (kind.is(class_var_kind))
            continue;
        nb::object default_value = read(field, "default");
        bool init_var = kind.is(init_var_kind);
        fields_.push_back(Field{nb::str(name), is_true(init),
                                init_var && default_value.is(missing)});
        if (!is_true(init) || init_var)
            all_plain_init_fields = false;
    }
    assembled_ = all_plain_init_fields && init_is_generated(record_class) &&
                 sets_attributes_as_object(record_class);
}

nb::object RecordCopier::copy(nb::handle record, nb::dict changes) const {
    if (!record.type().is(record_class_))
        return replace_(record, **changes);
    if (assembled_) {
        nb::object copy = assemble(record, changes);
        if (copy.is_valid())
            return copy;
    }
    return construct(record, changes);
}

nb::object RecordCopier::assemble(nb::handle record, nb::dict changes) const {
    // A name that is no field goes to the class, which refuses it as replace() does.
    Py_ssize_t changed = 0;
    for (const Field &field : fields_)
        changed += PyDict_Contains(changes.ptr(), field.name.ptr()) == 1;
    if (changed != PyDict_Size(changes.ptr()))
        return nb::object();

    // Every value is read from the record before the copy exists, as replace() reads them
    // before calling the class.
    std::vector<nb::object> values;
    values.reserve(fields_.size());
    for (const Field &field : fields_) {
        PyObject *change = PyDict_GetItemWithError(changes.ptr(), field.name.ptr());
        if (change)
            values.push_back(nb::borrow(change));
        else if (PyErr_Occurred())
            throw nb::python_error();
        else
            values.push_back(nb::getattr(record, field.name));
    }
    auto *type = reinterpret_cast<PyTypeObject *>(record_class_.ptr());
    nb::tuple no_arguments;
    nb::object copy = nb::steal(type->tp_new(type, no_arguments.ptr(), nullptr));
    if (!copy.is_valid())
        throw nb::python_error();
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (PyObject_GenericSetAttr(copy.ptr(), fields_[i].name.ptr(), values[i].ptr()) != 0)
            throw nb::python_error();
    return copy;
}

nb::object RecordCopier::construct(nb::handle record, nb::dict changes) const {
    // The record's class is called with every init field by keyword, through one vectorcall
    // (no keyword dict is built): the unchanged fields first, then the changes as given.
    std::vector<nb::object> values;
    nb::list names;
    values.reserve(fields_.size() + nb::len(changes));
    for (const Field &field : fields_) {
        bool changed = PyDict_Contains(changes.ptr(), field.name.ptr()) == 1;
        if (!field.init) {
            if (changed) {
                PyErr_Format(PyExc_ValueError,
                             "field %U is declared with init=False, it cannot be specified "
                             "with replace()",
                             field.name.ptr());
                throw nb::python_error();
            }
            continue;
        }
        if (changed)
            continue;
        if (field.init_var_without_default) {
            PyErr_Format(PyExc_ValueError, "InitVar %R must be specified with replace()",
                         field.name.ptr());
            throw nb::python_error();
        }
        values.push_back(nb::getattr(record, field.name));
        names.append(field.name);
    }
    // The changes go in as given: a name that is no field reaches __init__ and is refused
    // there, as with dataclasses.replace.
    for (auto [name, value] : changes) {
        names.append(name);
        values.push_back(nb::borrow(value));
    }
    std::vector<PyObject *> arguments;
    arguments.reserve(values.size());
    for (const nb::object &value : values)
        arguments.push_back(value.ptr());
    nb::tuple keyword_names = nb::tuple(names);
    PyObject *copy = PyObject_Vectorcall(record_class_.ptr(), arguments.data(), 0,
                                         keyword_names.ptr());
    if (!copy)
        throw nb::python_error();
    return nb::steal(copy);
}

} // namespace pyglue
