#include "api_configuration.hpp"

#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"
#include "platform/thread_queue.hpp"

namespace cqgemu {

ApiConfiguration::ApiConfiguration(std::shared_ptr<ThreadQueue> home,
                                   std::shared_ptr<CelRecord> record)
    : EmulatedObject(std::move(home)), record_(std::move(record)),
      time_zone_code_(*cqg_constant("tzCentral")) {}

const MemberTable &ApiConfiguration::members() const {
    using C = ApiConfiguration;
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<C>(t)
            .property("CollectionsThrowException", &C::collections_throw_exception,
                      &C::set_collections_throw_exception)
            .property("NewInstrumentChangeMode", &C::new_instrument_change_mode,
                      &C::set_new_instrument_change_mode)
            .property("ReadyStatusCheck", &C::ready_status_check, &C::set_ready_status_check)
            .property("TimeZoneCode", &C::time_zone_code, &C::set_time_zone_code)
            .property("IncludeOrderTransactions", &C::include_order_transactions,
                      &C::set_include_order_transactions)
            .property("UseOrderSide", &C::use_order_side, &C::set_use_order_side);
        return t;
    }();
    return table;
}

void ApiConfiguration::record(const char *property, nb::handle value) {
    record_->note_assignment(property, value, current_thread_ident());
}

// A flag takes what a VARIANT_BOOL takes: a bool or a number.
bool ApiConfiguration::as_flag(const char *property, nb::handle value) {
    if (!PyBool_Check(value.ptr()) && !PyLong_Check(value.ptr()) && !PyFloat_Check(value.ptr()))
        raise_com_error(hresult::DISP_E_TYPEMISMATCH);
    record(property, value);
    return PyObject_IsTrue(value.ptr()) == 1;
}

long ApiConfiguration::as_integer(const char *property, nb::handle value) {
    if (!PyLong_Check(value.ptr()))
        raise_com_error(hresult::DISP_E_TYPEMISMATCH);
    long number = nb::cast<long>(value);
    record(property, value);
    return number;
}

void ApiConfiguration::set_collections_throw_exception(nb::handle value) {
    collections_throw_exception_ = as_flag("CollectionsThrowException", value);
}

void ApiConfiguration::set_new_instrument_change_mode(nb::handle value) {
    new_instrument_change_mode_ = as_flag("NewInstrumentChangeMode", value);
}

void ApiConfiguration::set_ready_status_check(nb::handle value) {
    ready_status_check_ = as_integer("ReadyStatusCheck", value);
}

void ApiConfiguration::set_time_zone_code(nb::handle value) {
    if (PyLong_Check(value.ptr()) && !is_member("eTimeZone", nb::cast<long>(value)))
        raise_server_error("CQGCEL", "Invalid time zone code", hresult::DISP_E_EXCEPTION);
    time_zone_code_ = as_integer("TimeZoneCode", value);
}

void ApiConfiguration::set_include_order_transactions(nb::handle value) {
    include_order_transactions_ = as_flag("IncludeOrderTransactions", value);
}

void ApiConfiguration::set_use_order_side(nb::handle value) {
    use_order_side_ = as_flag("UseOrderSide", value);
}

} // namespace cqgemu
