#include "record_copy.hpp"

#include "safe_access.hpp"
#include "truth.hpp"

namespace pyglue {

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
    }
}

nb::object RecordCopier::copy(nb::handle record, nb::dict changes) const {
    if (!record.type().is(record_class_))
        return replace_(record, **changes);

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
