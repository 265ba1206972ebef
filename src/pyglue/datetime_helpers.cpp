#include "datetime_helpers.hpp"

#include <datetime.h>

#include <cstdio>

#include "safe_access.hpp"

namespace pyglue {

static nb::object datetime_class() {
    return nb::module_::import_("datetime").attr("datetime");
}

nb::object datetime_now() { return datetime_class().attr("now")(); }

nb::str datetime_format(nb::handle value, const char *format) {
    return nb::str(value.attr("strftime")(format));
}

// Each module holds its own pointer to the datetime C interface (datetime.h makes it static
// to this file); it is taken once, under the GIL, on first use.
static bool plain_datetime(nb::handle value) {
    if (!PyDateTimeAPI) {
        PyDateTime_IMPORT;
        if (!PyDateTimeAPI)
            throw nb::python_error();
    }
    return PyDateTime_CheckExact(value.ptr());
}

nb::str datetime_seconds_text(nb::handle value) {
    PyObject *time = value.ptr();
    if (plain_datetime(value) && PyDateTime_GET_YEAR(time) >= 1000) {
        char text[32];
        int size = std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d",
                                 PyDateTime_GET_YEAR(time), PyDateTime_GET_MONTH(time),
                                 PyDateTime_GET_DAY(time), PyDateTime_DATE_GET_HOUR(time),
                                 PyDateTime_DATE_GET_MINUTE(time),
                                 PyDateTime_DATE_GET_SECOND(time));
        return nb::str(text, static_cast<size_t>(size));
    }
    return datetime_format(value, "%Y-%m-%d %H:%M:%S");
}

nb::object naive_whole_seconds(nb::handle cqg_time) {
    nb::object year = read(cqg_time, "year"), month = read(cqg_time, "month"),
               day = read(cqg_time, "day"), hour = read(cqg_time, "hour"),
               minute = read(cqg_time, "minute"), second = read(cqg_time, "second");
    return datetime_class()(nb::arg("year") = year, nb::arg("month") = month,
                            nb::arg("day") = day, nb::arg("hour") = hour,
                            nb::arg("minute") = minute, nb::arg("second") = second);
}

} // namespace pyglue
