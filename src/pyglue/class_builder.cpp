#include "class_builder.hpp"

namespace pyglue {

ClassBuilder::ClassBuilder(nb::handle module, const char *name, nb::tuple bases,
                           const char *doc) {
    nb::object module_name = module.attr("__name__");
    nb::dict ns;
    ns["__module__"] = module_name;
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

ClassBuilder &ClassBuilder::attr(const char *name, nb::handle value) {
    nb::setattr(cls_, name, value);
    return *this;
}

ClassBuilder &ClassBuilder::field(const char *name, nb::handle annotation) {
    annotations_[name] = annotation;
    return *this;
}

ClassBuilder &ClassBuilder::field(const char *name, nb::handle annotation,
                                  nb::handle default_value) {
    annotations_[name] = annotation;
    nb::setattr(cls_, name, default_value);
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
