#include "com_time.hpp"

#include <cmath>

namespace cqgemu {

nb::object com_timestamp(double epoch_seconds) {
    // Built as epoch + whole milliseconds: a float timestamp would round some milliseconds away.
    long long milliseconds = std::llround(epoch_seconds * 1000.0);
    nb::module_ datetime = nb::module_::import_("datetime");
    nb::object utc = datetime.attr("timezone").attr("utc");
    nb::object epoch = datetime.attr("datetime")(1970, 1, 1, 0, 0, 0, 0, utc);
    nb::object delta = datetime.attr("timedelta")(0, 0, 0, milliseconds);
    return epoch + delta;
}

} // namespace cqgemu
