// A probe object for tests of the platform itself: its members echo values, fail in each way a
// server can fail, and fire events from inside a call. Made by corvane_emulator.make_probe() in
// the calling thread's apartment, so it can be marshaled and called like CQGCEL.
#pragma once

#include "event_source.hpp"

namespace cqgemu {

class Probe : public EventSource {
public:
    using EventSource::EventSource;

    const char *type_name() const override { return "CorvaneEmulator.Probe"; }
    const MemberTable &members() const override;

    nb::object value() { return value_; }
    void set_value(nb::handle value) { value_ = nb::borrow(value); }

    nb::object echo(nb::tuple args);
    nb::object echo_declared(nb::tuple args);
    nb::object raise_python_error(nb::tuple args);
    nb::object throw_cpp_error(nb::tuple args);
    nb::object return_unconvertible(nb::tuple args);
    nb::object fire_event(nb::tuple args);

    void disconnect() override;

private:
    nb::object value_ = nb::none();
};

void define_probe(nb::module_ &module);

} // namespace cqgemu
