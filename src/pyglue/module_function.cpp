#include "module_function.hpp"

namespace pyglue {

void refuse_module_member(nb::handle module, const char *name) {
    if (!nb::hasattr(module, name))
        return;
    nb::object module_name = module.attr("__name__");
    PyErr_Format(PyExc_TypeError, "module '%U' defines '%s' twice", module_name.ptr(), name);
    throw nb::python_error();
}

} // namespace pyglue
