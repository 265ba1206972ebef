#include "com_time.hpp"

#include <cmath>

namespace cqgemu {

namespace {

PyObject *time_type = nullptr; // kept for the life of the process

nb::object utc() { return nb::module_::import_("datetime").attr("timezone").attr("utc"); }

nb::object datetime_class() { return nb::module_::import_("datetime").attr("datetime"); }

// A DATE holds milliseconds: the rest of the microseconds is dropped.
nb::object to_time_type(nb::handle aware_utc) {
    nb::list fields;
    for (const char *name : {"year", "month", "day", "hour", "minute", "second"}) {
        nb::object field = aware_utc.attr(name);
        fields.append(field);
    }
    nb::object microsecond_field = aware_utc.attr("microsecond");
    long microsecond = nb::cast<long>(microsecond_field);
    fields.append(nb::int_(microsecond - microsecond % 1000));
    fields.append(utc());
    nb::object type = nb::borrow(time_type);
    return type(*nb::tuple(fields));
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
    module.attr("TimeType") = nb::handle(time_type);
}

bool is_datetime(nb::handle value) {
    return PyObject_IsInstance(value.ptr(), datetime_class().ptr()) == 1;
}

nb::object com_time_from_wall_clock(double wall_clock_seconds) {
    double milliseconds = std::floor(wall_clock_seconds * 1000.0 + 1e-6);
    double whole_seconds = std::floor(milliseconds / 1000.0);
    long rest = static_cast<long>(milliseconds - whole_seconds * 1000.0);
    nb::object moment = datetime_class().attr("fromtimestamp")(whole_seconds, utc());
    nb::dict fields;
    fields["microsecond"] = nb::int_(rest * 1000);
    nb::object replace = moment.attr("replace");
    return to_time_type(replace(**fields));
}

nb::object com_time_from_datetime(nb::handle value) {
    if (Py_TYPE(value.ptr()) == reinterpret_cast<PyTypeObject *>(time_type)) {
        nb::object tzinfo = value.attr("tzinfo");
        nb::object microsecond = value.attr("microsecond");
        if (tzinfo.is(utc()) && nb::cast<long>(microsecond) % 1000 == 0)
            return nb::borrow(value);
    }
    // astimezone() takes a naive value as local time, which is what Windows does with it.
    return to_time_type(value.attr("astimezone")(utc()));
}

} // namespace cqgemu
