#include "record_copy.hpp"

#include <algorithm>
#include <functional>

#include "interned_names.hpp"
#include "internals.hpp"
#include "safe_access.hpp"
#include "truth.hpp"

namespace pyglue {

namespace {

enum class Way { Assembled, Positional, ByKeyword };

// A framework record and a subclass or two; more classes only cost working them out again.
constexpr std::size_t kMaxPlans = 4;

// Fields of the records we copy; a longer record is copied through the heap.
constexpr std::size_t kFieldsInPlace = 24;

const Name kInit("__init__"), kPostInit("__post_init__");

// obj.<name>, or an invalid object (and no error) when the look-up fails.
nb::object read_or_nothing(nb::handle obj, nb::handle name) {
    PyObject *value = PyObject_GetAttr(obj.ptr(), name.ptr());
    if (!value)
        PyErr_Clear();
    return nb::steal(value);
}

// A name as the interned str a class's own names are, so that it is matched by identity.
nb::object interned_copy(nb::handle name) {
    if (!PyUnicode_CheckExact(name.ptr()))
        return nb::borrow(name);
    PyObject *text = nb::borrow(name).release().ptr();
    PyUnicode_InternInPlace(&text);
    return nb::steal(text);
}

bool same_text(nb::handle a, nb::handle b) {
    if (a.is(b))
        return true;
    if (!PyUnicode_Check(a.ptr()) || !PyUnicode_Check(b.ptr()))
        return false;
    int order = PyUnicode_Compare(a.ptr(), b.ptr());
    if (order == -1 && PyErr_Occurred())
        throw nb::python_error();
    return order == 0;
}

// Whether the class or one of its bases defines `name`, by their own dicts: a name that is
// absent raises no AttributeError to be cleared. A class we cannot look into counts as one
// that defines it.
bool class_defines(PyTypeObject *type, nb::handle name) {
    PyObject *mro = type->tp_mro;
    if (!mro || !PyTuple_Check(mro))
        return true;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(mro); ++i) {
        PyObject *own = reinterpret_cast<PyTypeObject *>(PyTuple_GET_ITEM(mro, i))->tp_dict;
        if (!own)
            return true;
        if (PyDict_GetItemWithError(own, name.ptr()))
            return true;
        if (PyErr_Occurred())
            throw nb::python_error();
    }
    return false;
}

// The names of a Python function's parameters, when calling it by position and by keyword
// bind them alike: no positional-only parameters, no *args or **kwargs. `keyword_only` is
// how many of the names, at the end, are keyword-only.
bool plain_parameters(nb::handle function, std::vector<nb::object> &names,
                      Py_ssize_t &keyword_only) {
    if (!PyFunction_Check(function.ptr()))
        return false;
    nb::object code = read(function, "__code__");
    Py_ssize_t positional = nb::cast<Py_ssize_t>(read(code, "co_argcount"));
    Py_ssize_t only_positional = nb::cast<Py_ssize_t>(read(code, "co_posonlyargcount"));
    keyword_only = nb::cast<Py_ssize_t>(read(code, "co_kwonlyargcount"));
    long flags = nb::cast<long>(read(code, "co_flags"));
    constexpr long kVarArgs = 0x04, kVarKeywords = 0x08; // CO_VARARGS, CO_VARKEYWORDS
    if (only_positional != 0 || (flags & (kVarArgs | kVarKeywords)) || positional < 1)
        return false;
    nb::object variables = read(code, "co_varnames");
    for (Py_ssize_t i = 1; i < positional + keyword_only; ++i) // after self
        names.push_back(nb::borrow(PyTuple_GET_ITEM(variables.ptr(), i)));
    return true;
}

} // namespace

struct RecordCopier::Plan {
    // A Field of the class's table of fields with what replace() reads of it, as worked out: a
    // field changed in place since (flipped to init=False, say) is seen on the next copy.
    struct Declared {
        nb::object field;
        internals::FieldState read;
    };

    struct Field {
        nb::object name; // interned
        bool init;
        bool init_var;
        bool init_var_without_default; // must then be given as a change
    };

    nb::object record_class;
    nb::object declared; // the table of fields as read when worked out
    Py_ssize_t declared_size = 0;
    std::vector<Declared> declared_fields; // its values, in its order
    std::vector<Field> fields; // every pseudo-field replace() walks (InitVars, not ClassVars)
    Way way = Way::ByKeyword;

    // What the faster ways rest on, checked on every copy.
    nb::object init;
    PyObject *init_code = nullptr; // compared by identity only
    PyTypeObject *metaclass = nullptr;
    newfunc new_slot = nullptr;
    setattrofunc setattr_slot = nullptr;

    // The class's version tag when the class was last found to still hold (0: none).
    mutable unsigned int checked_version = 0;

    // Positional: the fields in the order of __init__'s parameters, of which the last
    // `keyword_only` go by the names in `keyword_names`.
    std::vector<std::size_t> call_order;
    Py_ssize_t keyword_only = 0;
    nb::object keyword_names;

    // `declaring` is what the fields are read from: a record of the class, or the class.
    static std::shared_ptr<const Plan> work_out(nb::handle record_class, nb::handle declaring);
    bool still_holds(nb::handle record) const;
    bool fields_as_worked_out() const;
    static unsigned int version_of(PyTypeObject *type);
    bool unchanged_since_checked(PyTypeObject *type) const;
    std::size_t index_of(nb::handle name) const;
    void choose_way(nb::handle record_class);
};

std::shared_ptr<const RecordCopier::Plan> RecordCopier::Plan::work_out(nb::handle record_class,
                                                                       nb::handle declaring) {
    // replace() refuses a record whose class has no dataclass fields.
    if (!internals::dataclass_fields_or_nothing(record_class).is_valid())
        return nullptr;
    nb::object missing = read(nb::module_::import_("dataclasses"), "MISSING");

    auto plan = std::make_shared<Plan>();
    plan->record_class = nb::borrow(record_class);
    // As replace() reads them: from the record.
    plan->declared = internals::dataclass_fields(declaring);
    plan->declared_size = PyObject_Size(plan->declared.ptr());
    if (plan->declared_size < 0)
        throw nb::python_error();
    nb::object values = call_method(plan->declared, "values");
    for (nb::handle field : values) {
        internals::FieldKind kind = internals::field_kind(field);
        plan->declared_fields.push_back(Declared{nb::borrow(field), internals::field_state(field)});
        if (kind == internals::FieldKind::ClassVar)
            continue;
        bool init_var = kind == internals::FieldKind::InitVar;
        nb::object default_value = read(field, "default");
        plan->fields.push_back(Field{interned_copy(read(field, "name")),
                                     is_true(read(field, "init")), init_var,
                                     init_var && default_value.is(missing)});
    }
    plan->choose_way(record_class);
    return plan;
}

void RecordCopier::Plan::choose_way(nb::handle record_class) {
    auto *type = reinterpret_cast<PyTypeObject *>(record_class.ptr());
    metaclass = Py_TYPE(type);
    new_slot = type->tp_new;
    setattr_slot = type->tp_setattro;
    init = read_or_nothing(record_class, kInit);
    // Calling the class is type.__call__: object.__new__, then __init__.
    if (metaclass != &PyType_Type || new_slot != PyBaseObject_Type.tp_new || !init.is_valid() ||
        !PyFunction_Check(init.ptr()))
        return;
    init_code = PyFunction_GET_CODE(init.ptr());

    std::vector<nb::object> parameters;
    if (!plain_parameters(init, parameters, keyword_only))
        return;
    std::size_t init_fields = 0;
    for (const Field &field : fields)
        init_fields += field.init;
    if (parameters.size() != init_fields)
        return;
    for (const nb::object &parameter : parameters) {
        std::size_t index = index_of(parameter);
        if (index == fields.size() || !fields[index].init ||
            std::find(call_order.begin(), call_order.end(), index) != call_order.end()) {
            call_order.clear();
            return;
        }
        call_order.push_back(index);
    }
    nb::list names;
    for (std::size_t i = call_order.size() - keyword_only; i < call_order.size(); ++i)
        names.append(fields[call_order[i]].name);
    keyword_names = nb::tuple(names);
    way = Way::Positional;

    // Nothing but the generated __init__ would run: its work is done here without the call.
    bool all_plain_fields = std::all_of(fields.begin(), fields.end(), [](const Field &field) {
        return field.init && !field.init_var;
    });
    bool sets_as_object =
        internals::dataclass_frozen(record_class) || setattr_slot == PyObject_GenericSetAttr;
    auto is_field_name = [this](nb::handle name) { return index_of(name) != fields.size(); };
    if (all_plain_fields && sets_as_object &&
        internals::init_is_generated(record_class, init, is_field_name) &&
        !class_defines(type, kPostInit))
        way = Way::Assembled;
}

bool RecordCopier::Plan::fields_as_worked_out() const {
    auto unchanged = [](const Declared &declared_field, nb::handle field) {
        return field.is(declared_field.field) &&
               internals::field_state(field).same_as(declared_field.read);
    };
    std::size_t i = 0;
    if (PyDict_CheckExact(declared.ptr())) {
        Py_ssize_t position = 0;
        PyObject *key = nullptr, *field = nullptr;
        while (PyDict_Next(declared.ptr(), &position, &key, &field)) {
            if (i == declared_fields.size() || !unchanged(declared_fields[i], field))
                return false;
            ++i;
        }
    } else {
        for (nb::handle field : call_method(declared, "values")) {
            if (i == declared_fields.size() || !unchanged(declared_fields[i], field))
                return false;
            ++i;
        }
    }
    return i == declared_fields.size();
}

bool RecordCopier::Plan::still_holds(nb::handle record) const {
    nb::object now_declared = internals::dataclass_fields_or_nothing(record);
    if (!now_declared.is(declared) || PyObject_Size(declared.ptr()) != declared_size) {
        PyErr_Clear();
        return false;
    }
    if (!fields_as_worked_out())
        return false;
    if (way == Way::ByKeyword)
        return true;
    auto *type = reinterpret_cast<PyTypeObject *>(record_class.ptr());
    if (Py_TYPE(type) != metaclass || type->tp_new != new_slot || type->tp_setattro != setattr_slot)
        return false;
    // A function's code can be replaced without touching its class.
    if (PyFunction_GET_CODE(init.ptr()) != init_code)
        return false;
    if (unchanged_since_checked(type))
        return true;
    nb::object now_init = read_or_nothing(record_class, kInit);
    if (!now_init.is(init))
        return false;
    if (way == Way::Assembled && class_defines(type, kPostInit))
        return false;
    checked_version = version_of(type);
    return true;
}

// CPython gives a class a version tag that it drops whenever the class or one of its bases
// changes (an attribute set or deleted, its bases replaced), and a dropped tag is never
// given again. While the tag is the one the class had when its __init__ and __post_init__
// were last looked up, neither can have changed.
unsigned int RecordCopier::Plan::version_of(PyTypeObject *type) {
    return internals::type_version(type);
}

bool RecordCopier::Plan::unchanged_since_checked(PyTypeObject *type) const {
    return checked_version != 0 && version_of(type) == checked_version;
}

std::size_t RecordCopier::Plan::index_of(nb::handle name) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name.is(name))
            return i;
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (same_text(fields[i].name, name))
            return i;
    return fields.size();
}

RecordCopier::RecordCopier()
    : replace_(read(nb::module_::import_("dataclasses"), "replace")) {}

RecordCopier::RecordCopier(nb::handle record_class) : RecordCopier() {
    std::shared_ptr<const Plan> plan = Plan::work_out(record_class, record_class);
    if (!plan) {
        PyErr_Format(PyExc_TypeError, "%R is not a dataclass", record_class.ptr());
        throw nb::python_error();
    }
    plans_.push_back(std::move(plan));
}

RecordCopier::~RecordCopier() = default;

std::shared_ptr<const RecordCopier::Plan> RecordCopier::plan_for(nb::handle record) const {
    nb::handle record_class = record.type();
    for (std::size_t i = 0; i < plans_.size(); ++i) {
        if (!plans_[i]->record_class.is(record_class))
            continue;
        std::shared_ptr<const Plan> plan = plans_[i];
        if (plan->still_holds(record))
            return plan;
        // The class has changed since: worked out again below.
        auto stale = std::find(plans_.begin(), plans_.end(), plan);
        if (stale != plans_.end())
            plans_.erase(stale);
        break;
    }
    std::shared_ptr<const Plan> plan = Plan::work_out(record_class, record);
    if (!plan)
        return nullptr;
    plans_.insert(plans_.begin(), plan);
    if (plans_.size() > kMaxPlans)
        plans_.pop_back();
    return plan;
}

nb::object RecordCopier::copy(nb::handle record, std::initializer_list<Change> changes) const {
    return copy_changes(record, changes.begin(), changes.size());
}

nb::object RecordCopier::copy(nb::handle record, nb::dict changes) const {
    std::vector<Change> listed;
    for (auto [name, value] : changes)
        listed.push_back(Change{name, value});
    return copy_changes(record, listed.data(), listed.size());
}

nb::object RecordCopier::copy_changes(nb::handle record, const Change *changes,
                                      std::size_t count) const {
    // Held through the copy, which runs Python code that may make this copier drop it.
    std::shared_ptr<const Plan> plan = plan_for(record);
    if (!plan)
        return replace_call(record, changes, count);
    if (plan->way == Way::ByKeyword)
        return construct(*plan, record, changes, count);

    // Each change must name an init field, and every InitVar without a default must be among
    // them; otherwise the class or replace() refuses the copy, and the keyword way does so
    // with the same error at the same point.
    std::size_t field_count = plan->fields.size();
    std::vector<nb::object> heap_values;
    nb::object in_place[kFieldsInPlace];
    nb::object *values = in_place;
    if (field_count > kFieldsInPlace) {
        heap_values.resize(field_count);
        values = heap_values.data();
    }
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t index = plan->index_of(changes[i].name);
        if (index == field_count || !plan->fields[index].init || values[index].is_valid())
            return construct(*plan, record, changes, count);
        values[index] = nb::borrow(changes[i].value);
    }
    for (std::size_t i = 0; i < field_count; ++i)
        if (!values[i].is_valid() && plan->fields[i].init_var_without_default)
            return construct(*plan, record, changes, count);

    // Every other value is read from the record, in class order, before the copy exists,
    // as replace() reads them before calling the class.
    for (std::size_t i = 0; i < field_count; ++i)
        if (!values[i].is_valid() && plan->fields[i].init)
            values[i] = read(record, plan->fields[i].name);

    auto *type = reinterpret_cast<PyTypeObject *>(plan->record_class.ptr());
    if (plan->way == Way::Assembled) {
        nb::tuple no_arguments;
        nb::object copy = nb::steal(type->tp_new(type, no_arguments.ptr(), nullptr));
        if (!copy.is_valid())
            throw nb::python_error();
        for (std::size_t i = 0; i < field_count; ++i)
            if (PyObject_GenericSetAttr(copy.ptr(), plan->fields[i].name.ptr(),
                                        values[i].ptr()) != 0)
                throw nb::python_error();
        return copy;
    }

    std::vector<PyObject *> arguments;
    arguments.reserve(plan->call_order.size());
    for (std::size_t index : plan->call_order)
        arguments.push_back(values[index].ptr());
    std::size_t positional = arguments.size() - plan->keyword_only;
    PyObject *keyword_names = plan->keyword_only ? plan->keyword_names.ptr() : nullptr;
    PyObject *copy = PyObject_Vectorcall(plan->record_class.ptr(), arguments.data(), positional,
                                         keyword_names);
    if (!copy)
        throw nb::python_error();
    return nb::steal(copy);
}

nb::object RecordCopier::replace_call(nb::handle record, const Change *changes,
                                      std::size_t count) const {
    nb::dict keywords;
    for (std::size_t i = 0; i < count; ++i)
        if (PyDict_SetItem(keywords.ptr(), changes[i].name.ptr(), changes[i].value.ptr()) != 0)
            throw nb::python_error();
    return replace_(record, **keywords);
}

nb::object RecordCopier::construct(const Plan &plan, nb::handle record, const Change *changes,
                                   std::size_t count) const {
    // The record's class is called with every init field by keyword, through one vectorcall
    // (no keyword dict is built), in replace()'s order: the changes as given, then the
    // unchanged fields in the class's order.
    auto changed = [&](nb::handle name) {
        for (std::size_t i = 0; i < count; ++i)
            if (same_text(changes[i].name, name))
                return true;
        return false;
    };
    std::vector<nb::object> values;
    nb::list names;
    values.reserve(plan.fields.size() + count);
    // A name that is no field reaches __init__ and is refused there, as with replace().
    for (std::size_t i = 0; i < count; ++i) {
        names.append(changes[i].name);
        values.push_back(nb::borrow(changes[i].value));
    }
    for (const Plan::Field &field : plan.fields) {
        bool is_changed = changed(field.name);
        if (!field.init) {
            if (is_changed) {
                PyErr_Format(PyExc_ValueError,
                             "field %U is declared with init=False, it cannot be specified "
                             "with replace()",
                             field.name.ptr());
                throw nb::python_error();
            }
            continue;
        }
        if (is_changed)
            continue;
        if (field.init_var_without_default) {
            PyErr_Format(PyExc_ValueError, "InitVar %R must be specified with replace()",
                         field.name.ptr());
            throw nb::python_error();
        }
        values.push_back(read(record, field.name));
        names.append(field.name);
    }
    std::vector<PyObject *> arguments;
    arguments.reserve(values.size());
    for (const nb::object &value : values)
        arguments.push_back(value.ptr());
    nb::tuple keyword_names = nb::tuple(names);
    PyObject *copy = PyObject_Vectorcall(plan.record_class.ptr(), arguments.data(), 0,
                                         keyword_names.ptr());
    if (!copy)
        throw nb::python_error();
    return nb::steal(copy);
}

} // namespace pyglue
