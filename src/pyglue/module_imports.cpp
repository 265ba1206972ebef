#include "module_imports.hpp"

#include <string>

namespace pyglue {

void import_module(nb::module_ &target, const char *dotted_name) {
    nb::module_::import_(dotted_name);
    std::string top(dotted_name);
    top = top.substr(0, top.find('.'));
    nb::module_ package = nb::module_::import_(top.c_str());
    nb::setattr(target, top.c_str(), package);
}

nb::object import_name(nb::handle module, const char *name) {
    nb::object value = nb::getattr(module, name, nb::handle());
    if (!value.is_valid()) {
        nb::object module_name = nb::getattr(module, "__name__", nb::str("?"));
        PyErr_Format(PyExc_ImportError, "cannot import name '%s' from '%U'", name,
                     nb::str(module_name).ptr());
        throw nb::python_error();
    }
    return value;
}

nb::object import_name(const char *module_name, const char *name) {
    nb::module_ source = nb::module_::import_(module_name);
    return import_name(source, name);
}

void import_names(nb::module_ &target, const char *module_name,
                  std::initializer_list<const char *> names) {
    nb::module_ source = nb::module_::import_(module_name);
    for (const char *name : names) {
        nb::object value = import_name(source, name);
        nb::setattr(target, name, value);
    }
}

} // namespace pyglue
