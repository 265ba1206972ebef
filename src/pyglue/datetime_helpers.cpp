#include "datetime_helpers.hpp"

#include <datetime.h>

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

// Writes `number` as `digits` decimal digits, zero-padded, and returns the end.
static char *put_digits(char *out, int number, int digits) {
    for (int i = digits - 1; i >= 0; --i, number /= 10)
        out[i] = static_cast<char>('0' + number % 10);
    return out + digits;
}

nb::str datetime_seconds_text(nb::handle value) {
    PyObject *time = value.ptr();
    if (plain_datetime(value) && PyDateTime_GET_YEAR(time) >= 1000) {
        // "YYYY-MM-DD HH:MM:SS", written digit by digit (snprintf costs more than the rest
        // of a stored row's own work).
        char text[19];
        char *out = put_digits(text, PyDateTime_GET_YEAR(time), 4);
        *out++ = '-';
        out = put_digits(out, PyDateTime_GET_MONTH(time), 2);
        *out++ = '-';
        out = put_digits(out, PyDateTime_GET_DAY(time), 2);
        *out++ = ' ';
        out = put_digits(out, PyDateTime_DATE_GET_HOUR(time), 2);
        *out++ = ':';
        out = put_digits(out, PyDateTime_DATE_GET_MINUTE(time), 2);
        *out++ = ':';
        put_digits(out, PyDateTime_DATE_GET_SECOND(time), 2);
        return nb::str(text, sizeof text);
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
