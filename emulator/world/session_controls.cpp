#include "session_controls.hpp"

#include "module_function.hpp"
#include "scenario.hpp"
#include "scenario_accounts.hpp"
#include "cqg/cqgcel.hpp"
#include "platform/injected_faults.hpp"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include <stdexcept>

namespace cqgemu {

namespace {

[[noreturn]] void raise_value_error(const std::string &text) {
    PyErr_SetString(PyExc_ValueError, text.c_str());
    throw nb::python_error();
}

// The position changes in the book first; the CQGCEL, if one exists, then tells its sinks.
void set_position(long account_id, const std::string &instrument, long quantity,
                         nb::handle side, double average_price, double ote, double profit_loss) {
    PositionState position;
    position.instrument = instrument;
    position.quantity = quantity;
    position.side = position_side(side);
    position.average_price = average_price;
    position.ote = ote;
    position.profit_loss = profit_loss;
    PositionUpdate update;
    try {
        update = world().accounts.set_position(account_id, position);
    } catch (const std::out_of_range &error) {
        raise_value_error(error.what());
    }
    if (auto cel = world().current_cel.lock())
        if (!cel->disconnected())
            cel->report_position(account_id, instrument, update);
}

void set_summary(long account_id, const std::string &name, long index, double value) {
    try {
        world().accounts.set_summary(account_id, name, index, value);
    } catch (const std::out_of_range &error) {
        raise_value_error(error.what());
    }
}

nb::list property_log() {
    nb::list log;
    for (const nb::object &entry : last_record().properties)
        log.append(entry);
    return log;
}

nb::list cel_call_args() {
    const CelRecord &record = last_record();
    nb::list calls;
    for (size_t i = 0; i < record.calls.size(); ++i)
        calls.append(nb::make_tuple(nb::str(record.calls[i].c_str()), record.call_args[i]));
    return calls;
}

} // namespace

void define_session_controls(nb::module_ &m) {
    using pyglue::def_function;
    def_function(m, "set_position", &set_position, nb::arg("account_id"), nb::arg("instrument"),
                 nb::arg("quantity"), nb::arg("side") = "buy", nb::arg("average_price") = 0.0,
                 nb::arg("ote") = 0.0, nb::arg("profit_loss") = 0.0);
    def_function(m, "set_summary", &set_summary, nb::arg("account_id"), nb::arg("name"),
                 nb::arg("index"), nb::arg("value"));
    def_function(m, "drop_gateway", [] { current_cel()->report_gateway_connection(false); });
    def_function(m, "restore_gateway", [] { current_cel()->report_gateway_connection(true); });
    def_function(
        m, "set_data_connection",
        [](nb::object status) {
            current_cel()->fire("DataConnectionStatusChanged", nb::make_tuple(status));
        },
        nb::arg("status"));
    def_function(
        m, "data_error",
        [](long code, const std::string &description, bool with_object) {
            if (with_object)
                current_cel()->fire_data_error(code, description);
            else
                current_cel()->fire("DataError",
                                    nb::make_tuple(nb::none(), nb::str(description.c_str())));
        },
        nb::arg("code"), nb::arg("description"), nb::arg("with_object") = true);
    def_function(m, "fail_property", &fail_member, nb::arg("type_name"), nb::arg("member"),
                 nb::arg("times") = nb::none());
    def_function(m, "clear_faults", &clear_faults);
    def_function(m, "property_log", &property_log);
    def_function(m, "cel_call_args", &cel_call_args);
}

} // namespace cqgemu
