#include "cqg_time.hpp"

#include "safe_access.hpp"

namespace cqgglue {

using pyglue::read;

nb::object naive_whole_seconds(nb::handle cqg_time) {
    nb::object year = read(cqg_time, "year"), month = read(cqg_time, "month"),
               day = read(cqg_time, "day"), hour = read(cqg_time, "hour"),
               minute = read(cqg_time, "minute"), second = read(cqg_time, "second");
    nb::object datetime_module = nb::module_::import_("datetime");
    nb::object datetime_class = read(datetime_module, "datetime");
    return datetime_class(nb::arg("year") = year, nb::arg("month") = month,
                          nb::arg("day") = day, nb::arg("hour") = hour,
                          nb::arg("minute") = minute, nb::arg("second") = second);
}

} // namespace cqgglue
