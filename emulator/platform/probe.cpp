#include "probe.hpp"

#include "com_errors.hpp"
#include "com_runtime.hpp"
#include "dispatch.hpp"
#include "interface.hpp"
#include "module_function.hpp"
#include "thread_queue.hpp"

#include <nanobind/stl/string.h>

#include <stdexcept>
#include <string>

namespace cqgemu {

const MemberTable &Probe::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<Probe>(t)
            .property("Value", &Probe::value, &Probe::set_value)
            .method("Echo", &Probe::echo, {rest("Values")})
            // Gives back what a generated method sends for its declared parameters.
            .method("EchoDeclared", &Probe::echo_declared,
                    {required("First"), optional("Second", 2), optional("Third")})
            .method("RaisePythonError", &Probe::raise_python_error, {required("Text")})
            .method("ThrowCppError", &Probe::throw_cpp_error, {required("Text")})
            .method("ReturnUnconvertible", &Probe::return_unconvertible)
            .method("Fire", &Probe::fire_event, {required("Name"), rest("Arguments")});
        return t;
    }();
    return table;
}

// Echo(x) gives x back, Echo(x, y, ...) the tuple of them: each value makes the round trip.
nb::object Probe::echo(nb::tuple args) {
    if (args.size() == 1)
        return nb::borrow(args[0]);
    return std::move(args);
}

nb::object Probe::echo_declared(nb::tuple args) { return std::move(args); }

nb::object Probe::raise_python_error(nb::tuple args) {
    require_argument_count(args, 1);
    throw nb::value_error(nb::cast<std::string>(nb::str(args[0])).c_str());
}

nb::object Probe::throw_cpp_error(nb::tuple args) {
    require_argument_count(args, 1);
    throw std::runtime_error(nb::cast<std::string>(nb::str(args[0])));
}

// A result no VARIANT can carry.
nb::object Probe::return_unconvertible(nb::tuple args) {
    require_argument_count(args, 0);
    return nb::module_::import_("builtins").attr("object")();
}

// Fire(name, *args): raises event `name` from inside this call.
nb::object Probe::fire_event(nb::tuple args) {
    if (args.size() == 0)
        raise_com_error(hresult::DISP_E_BADPARAMCOUNT);
    std::string name = nb::cast<std::string>(nb::str(args[0]));
    nb::list rest;
    for (size_t i = 1; i < args.size(); ++i)
        rest.append(args[i]);
    fire(name, nb::tuple(rest));
    return nb::none();
}

void Probe::disconnect() {
    value_ = nb::none();
    EventSource::disconnect();
}

void define_probe(nb::module_ &module) {
    pyglue::def_function(
        module, "make_probe",
        [] {
            require_apartment();
            return wrap_for_names(nb::cast<const Interface &>(
                interface_for_this_thread(make_emulated<Probe>(current_queue()))));
        },
        "A probe object in this thread's apartment, for tests of the platform.");
}

} // namespace cqgemu
