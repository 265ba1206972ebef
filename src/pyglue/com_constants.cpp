#include "com_constants.hpp"

namespace pyglue {

nb::object com_constant(const char *name) {
    return nb::module_::import_("win32com.client").attr("constants").attr(name);
}

} // namespace pyglue
