#include "datetime_helpers.hpp"

#include "safe_access.hpp"

namespace pyglue {

static nb::object datetime_class() {
    return nb::module_::import_("datetime").attr("datetime");
}

nb::object datetime_now() { return datetime_class().attr("now")(); }

nb::str datetime_format(nb::handle value, const char *format) {
    return nb::str(value.attr("strftime")(format));
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
