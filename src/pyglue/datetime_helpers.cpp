#include "datetime_helpers.hpp"

#include <datetime.h>


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
static void import_datetime_interface() {
    if (!PyDateTimeAPI) {
        PyDateTime_IMPORT;
        if (!PyDateTimeAPI)
            throw nb::python_error();
    }
}

static bool plain_datetime(nb::handle value) {
    import_datetime_interface();
    return PyDateTime_CheckExact(value.ptr());
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
static std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
    const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 +
                                day_of_year;
    return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

bool utc_nanoseconds(nb::handle value, std::int64_t &nanoseconds) {
    import_datetime_interface();
    PyObject *time = value.ptr();
    if (!PyDateTime_Check(time))
        return false;
    std::int64_t seconds =
        days_from_civil(PyDateTime_GET_YEAR(time), PyDateTime_GET_MONTH(time),
                        PyDateTime_GET_DAY(time)) * 86400 +
        PyDateTime_DATE_GET_HOUR(time) * 3600 + PyDateTime_DATE_GET_MINUTE(time) * 60 +
        PyDateTime_DATE_GET_SECOND(time);
    PyObject *zone = PyDateTime_DATE_GET_TZINFO(time);
    if (zone != Py_None) {
        nb::object offset = nb::steal(PyObject_CallMethod(time, "utcoffset", nullptr));
        if (!offset.is_valid()) {
            PyErr_Clear();
            return false;
        }
        if (!offset.is_none()) {
            if (!PyDelta_Check(offset.ptr()) || PyDateTime_DELTA_GET_MICROSECONDS(offset.ptr()))
                return false;
            seconds -= static_cast<std::int64_t>(PyDateTime_DELTA_GET_DAYS(offset.ptr())) * 86400 +
                       PyDateTime_DELTA_GET_SECONDS(offset.ptr());
        }
    }
    // 64-bit nanoseconds reach from 1677 to 2262.
    constexpr std::int64_t kLimit = INT64_MAX / 1000000000 - 1;
    if (seconds > kLimit || seconds < -kLimit)
        return false;
    nanoseconds = seconds * 1000000000 +
                  static_cast<std::int64_t>(PyDateTime_DATE_GET_MICROSECOND(time)) * 1000;
    return true;
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

} // namespace pyglue
