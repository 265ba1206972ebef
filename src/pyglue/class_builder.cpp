#include "class_builder.hpp"

namespace pyglue {

ClassBuilder::ClassBuilder(nb::handle module, const char *name, nb::tuple bases,
                           const char *doc)
    : module_name_(module.attr("__name__")), name_(name) {
    nb::dict ns;
    ns["__module__"] = module_name_;
    ns["__qualname__"] = nb::str(name);
    ns["__doc__"] = doc ? nb::object(nb::str(doc)) : nb::none();
    ns["__annotations__"] = annotations_;

    // Let the bases choose the metaclass, as a class statement would.
    nb::object metaclass = nb::borrow(reinterpret_cast<PyObject *>(&PyType_Type));
    for (nb::handle base : bases) {
        nb::handle candidate = base.type();
        if (PyType_IsSubtype(reinterpret_cast<PyTypeObject *>(candidate.ptr()),
                             reinterpret_cast<PyTypeObject *>(metaclass.ptr())))
            metaclass = nb::borrow(candidate);
    }
    cls_ = metaclass(nb::str(name), bases, ns);
}

std::string ClassBuilder::member_qualname(const char *name) const {
    return name_ + "." + name;
}

void ClassBuilder::refuse_defined(const char *name) const {
    if (annotations_.contains(name)) {
        PyErr_Format(PyExc_TypeError, "class '%s' defines '%s' twice (already a field)",
                     name_.c_str(), name);
        throw nb::python_error();
    }
    PyObject *own = reinterpret_cast<PyTypeObject *>(cls_.ptr())->tp_dict;
    PyObject *existing = PyDict_GetItemString(own, name); // borrowed
    if (!existing)
        return;
    if (PyCallable_Check(existing) || PyObject_TypeCheck(existing, &PyProperty_Type) ||
        PyObject_TypeCheck(existing, &PyStaticMethod_Type))
        PyErr_Format(PyExc_TypeError, "class '%s' defines '%s' twice", name_.c_str(), name);
    else
        PyErr_Format(PyExc_TypeError,
                     "class '%s' cannot define '%s': the name is taken by an attribute of "
                     "type '%s'",
                     name_.c_str(), name, Py_TYPE(existing)->tp_name);
    throw nb::python_error();
}

void ClassBuilder::define_member(const char *name, nb::handle value) {
    refuse_defined(name);
    nb::setattr(cls_, name, value);
}

ClassBuilder &ClassBuilder::holding(nb::handle held) {
    holds_ = nb::borrow(held);
    return *this;
}

ClassBuilder &ClassBuilder::attr(const char *name, nb::handle value) {
    define_member(name, value);
    return *this;
}

ClassBuilder &ClassBuilder::decorate(const char *name, nb::handle decorator) {
    PyObject *own = reinterpret_cast<PyTypeObject *>(cls_.ptr())->tp_dict;
    nb::object member = nb::borrow(PyDict_GetItemString(own, name)); // borrowed, then owned
    if (!member.is_valid()) {
        PyErr_Format(PyExc_TypeError, "class '%s' cannot decorate '%s': it defines no such name",
                     name_.c_str(), name);
        throw nb::python_error();
    }
    nb::object decorated = decorator(member);
    nb::setattr(cls_, name, decorated);
    return *this;
}

ClassBuilder &ClassBuilder::field(const char *name, nb::handle annotation) {
    refuse_defined(name);
    annotations_[name] = annotation;
    return *this;
}

ClassBuilder &ClassBuilder::field(const char *name, nb::handle annotation,
                                  nb::handle default_value) {
    define_member(name, default_value);
    annotations_[name] = annotation;
    return *this;
}

nb::object ClassBuilder::static_method(nb::handle fn) {
    PyObject *method = PyStaticMethod_New(fn.ptr());
    if (!method)
        throw nb::python_error();
    return nb::steal(method);
}

nb::object ClassBuilder::make_property(nb::handle get, nb::handle set, const char *doc) {
    nb::object property = nb::module_::import_("builtins").attr("property");
    return property(get, set, nb::none(), doc ? nb::object(nb::str(doc)) : nb::none());
}

nb::object frozen_dataclass(nb::handle cls) {
    nb::object dataclass = nb::module_::import_("dataclasses").attr("dataclass");
    return dataclass(nb::arg("frozen") = true)(cls);
}

} // namespace pyglue
