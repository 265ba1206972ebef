#include "datetime_helpers.hpp"

namespace pyglue {

static nb::object datetime_class() {
    return nb::module_::import_("datetime").attr("datetime");
}

nb::object datetime_now() { return datetime_class().attr("now")(); }

nb::str datetime_format(nb::handle value, const char *format) {
    return nb::str(value.attr("strftime")(format));
}

bool is_datetime(nb::handle value) {
    int result = PyObject_IsInstance(value.ptr(), datetime_class().ptr());
    if (result < 0)
        throw nb::python_error();
    return result == 1;
}

} // namespace pyglue
