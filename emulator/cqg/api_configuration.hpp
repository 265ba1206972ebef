// APIConfiguration: the CQGCEL settings made before Startup(). Every assignment is recorded,
// in order, with the value exactly as the caller gave it.
#pragma once

#include "platform/emulated_object.hpp"
#include "cel_record.hpp"

namespace cqgemu {

class ApiConfiguration : public EmulatedObject {
public:
    ApiConfiguration(std::shared_ptr<ThreadQueue> home, std::shared_ptr<CelRecord> record);

    const char *type_name() const override { return "APIConfiguration"; }
    const MemberTable &members() const override;

    nb::object collections_throw_exception() { return nb::bool_(collections_throw_exception_); }
    void set_collections_throw_exception(nb::handle value);
    nb::object new_instrument_change_mode() { return nb::bool_(new_instrument_change_mode_); }
    void set_new_instrument_change_mode(nb::handle value);
    nb::object ready_status_check() { return nb::int_(ready_status_check_); }
    void set_ready_status_check(nb::handle value);
    nb::object time_zone_code() { return nb::int_(time_zone_code_); }
    void set_time_zone_code(nb::handle value);
    nb::object include_order_transactions() { return nb::bool_(include_order_transactions_); }
    void set_include_order_transactions(nb::handle value);
    nb::object use_order_side() { return nb::bool_(use_order_side_); }
    void set_use_order_side(nb::handle value);

private:
    void record(const char *property, nb::handle value);
    bool as_flag(const char *property, nb::handle value);
    long as_integer(const char *property, nb::handle value);

    std::shared_ptr<CelRecord> record_;
    bool collections_throw_exception_ = true;
    bool new_instrument_change_mode_ = false;
    long ready_status_check_ = 1;
    long time_zone_code_;
    bool include_order_transactions_ = false;
    bool use_order_side_ = false;
};

} // namespace cqgemu
