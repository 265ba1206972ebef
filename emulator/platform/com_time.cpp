#include "com_time.hpp"

#include <datetime.h>

#include <cmath>
#include <cstdint>

namespace cqgemu {

namespace {

PyObject *time_type = nullptr; // kept for the life of the process

// Whole seconds since 1970 that are a date of years 1 to 9999.
constexpr double FIRST_SECOND = -62135596800.0;
constexpr double LAST_SECOND = 253402300799.0;

// The datetime C interface, imported with the type (datetime.h keeps it per file).
void import_datetime_interface() {
    if (!PyDateTimeAPI) {
        PyDateTime_IMPORT;
        if (!PyDateTimeAPI)
            throw nb::python_error();
    }
}

struct CivilTime {
    int year, month, day, hour, minute, second;
};

// The calendar date and time of day of whole seconds since 1970 (the proleptic Gregorian
// calendar, as datetime counts). Days to a date after H. Hinnant's civil_from_days.
CivilTime civil_time(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t of_day = seconds % 86400;
    if (of_day < 0) {
        of_day += 86400;
        --days;
    }
    days += 719468; // from 1970-01-01 to 0000-03-01
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t day_of_era = days - era * 146097;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t shifted_month = (5 * day_of_year + 2) / 153; // March is 0
    const int day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    const int month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    const int year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
    return CivilTime{year,
                     month,
                     day,
                     static_cast<int>(of_day / 3600),
                     static_cast<int>(of_day / 60 % 60),
                     static_cast<int>(of_day % 60)};
}

// A TimeType of these fields, labelled UTC, made by the datetime C interface at once.
nb::object make_time(const CivilTime &t, int microsecond) {
    PyObject *made = PyDateTimeAPI->DateTime_FromDateAndTime(
        t.year, t.month, t.day, t.hour, t.minute, t.second, microsecond,
        PyDateTime_TimeZone_UTC, reinterpret_cast<PyTypeObject *>(time_type));
    if (!made)
        throw nb::python_error();
    return nb::steal(made);
}

nb::object utc() { return nb::module_::import_("datetime").attr("timezone").attr("utc"); }

nb::object datetime_class() { return nb::module_::import_("datetime").attr("datetime"); }

// A DATE holds milliseconds: the microseconds are rounded to the nearest one (half up), which
// may carry into the next second.
nb::object to_time_type(nb::handle aware_utc) {
    PyObject *raw = aware_utc.ptr();
    if (!PyDateTime_Check(raw))
        throw nb::type_error("astimezone() gave no datetime");
    const int microsecond = PyDateTime_DATE_GET_MICROSECOND(raw);
    if (microsecond % 1000 >= 500) {
        nb::object step = nb::module_::import_("datetime").attr("timedelta")(
            nb::arg("microseconds") = 1000 - microsecond % 1000);
        return to_time_type(aware_utc + step);
    }
    return make_time(CivilTime{PyDateTime_GET_YEAR(raw), PyDateTime_GET_MONTH(raw),
                               PyDateTime_GET_DAY(raw), PyDateTime_DATE_GET_HOUR(raw),
                               PyDateTime_DATE_GET_MINUTE(raw), PyDateTime_DATE_GET_SECOND(raw)},
                     microsecond - microsecond % 1000);
}

// pywintypes.datetime.Format(fmt="%c"): strftime under its own name.
nb::object format(nb::handle self, nb::handle fmt) {
    return self.attr("strftime")(fmt.is_none() ? nb::str("%c") : nb::borrow<nb::str>(fmt));
}

} // namespace

void define_time_type(nb::module_ &module) {
    if (!time_type) {
        nb::dict ns;
        ns["__module__"] = nb::str("pywintypes");
        ns["__doc__"] = nb::str("A COM date: the sender's wall clock, labelled UTC.");
        ns["__slots__"] = nb::tuple();
        ns["Format"] = nb::cpp_function(&format, nb::is_method(), nb::arg("fmt") = nb::none());
        nb::object type = nb::module_::import_("builtins").attr("type");
        nb::object made = type("datetime", nb::make_tuple(datetime_class()), ns);
        time_type = made.release().ptr();
    }
    import_datetime_interface();
    module.attr("TimeType") = nb::handle(time_type);
}

bool is_datetime(nb::handle value) { return PyDateTime_Check(value.ptr()); }

nb::object com_time_from_wall_clock(double wall_clock_seconds) {
    double milliseconds = std::floor(wall_clock_seconds * 1000.0 + 0.5); // to the nearest
    double whole_seconds = std::floor(milliseconds / 1000.0);
    // No number (NaN, an infinity) has a rest; datetime refuses it below.
    long rest = std::isfinite(milliseconds)
                    ? static_cast<long>(milliseconds - whole_seconds * 1000.0)
                    : 0;
    // Every time stamp of the emulated world is a date of years 1 to 9999; anything else (or
    // no number at all) gets datetime's own error from the way round.
    if (whole_seconds >= FIRST_SECOND && whole_seconds <= LAST_SECOND)
        return make_time(civil_time(static_cast<std::int64_t>(whole_seconds)),
                         static_cast<int>(rest * 1000));
    nb::object moment = datetime_class().attr("fromtimestamp")(whole_seconds, utc());
    nb::dict fields;
    fields["microsecond"] = nb::int_(rest * 1000);
    nb::object replace = moment.attr("replace");
    return to_time_type(replace(**fields));
}

nb::object com_time_from_datetime(nb::handle value) {
    PyObject *raw = value.ptr();
    if (Py_TYPE(raw) == reinterpret_cast<PyTypeObject *>(time_type) &&
        PyDateTime_DATE_GET_TZINFO(raw) == PyDateTime_TimeZone_UTC &&
        PyDateTime_DATE_GET_MICROSECOND(raw) % 1000 == 0)
        return nb::borrow(value);
    // astimezone() takes a naive value as local time, which is what Windows does with it.
    return to_time_type(value.attr("astimezone")(utc()));
}

} // namespace cqgemu
