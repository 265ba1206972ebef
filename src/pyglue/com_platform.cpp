#include "com_platform.hpp"

namespace pyglue {

nb::module_ threading_module() { return nb::module_::import_("threading"); }

nb::module_ pythoncom_module() { return nb::module_::import_("pythoncom"); }

nb::module_ win32event_module() { return nb::module_::import_("win32event"); }

nb::module_ win32com_client_module() { return nb::module_::import_("win32com.client"); }

nb::object dispatch(nb::handle value) {
    nb::object wrap = nb::getattr(win32com_client_module(), "Dispatch");
    return wrap(value);
}

nb::object com_constant(const char *name) {
    nb::object constants = nb::getattr(win32com_client_module(), "constants");
    return nb::getattr(constants, name);
}

} // namespace pyglue
