#include "com_platform.hpp"

namespace pyglue {

// The module as sys.modules holds it now, imported only when it is not there yet: every
// constant is looked up when used, and the import machinery costs more than the look-up.
static nb::module_ loaded_module(const char *name) {
    nb::str key(name);
    nb::object loaded = nb::steal(PyImport_GetModule(key.ptr()));
    if (!loaded.is_valid() && PyErr_Occurred())
        throw nb::python_error();
    // A None entry blocks the module: the import says so.
    if (!loaded.is_valid() || loaded.is_none())
        return nb::module_::import_(name);
    return nb::borrow<nb::module_>(loaded);
}

nb::module_ threading_module() { return loaded_module("threading"); }

nb::module_ pythoncom_module() { return loaded_module("pythoncom"); }

nb::module_ win32event_module() { return loaded_module("win32event"); }

nb::module_ win32com_client_module() { return loaded_module("win32com.client"); }

nb::object dispatch(nb::handle value) {
    nb::object wrap = nb::getattr(win32com_client_module(), "Dispatch");
    return wrap(value);
}

nb::object com_constant(const char *name) {
    nb::object constants = nb::getattr(win32com_client_module(), "constants");
    return nb::getattr(constants, name);
}

} // namespace pyglue
