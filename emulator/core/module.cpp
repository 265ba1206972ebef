// _cqgemu: the emulated COM platform and CQGCEL, fronted by the modules pythoncom, win32event,
// win32com.client and corvane_emulator.
#include "com_errors.hpp"
#include "com_runtime.hpp"
#include "cqg_constants.hpp"
#include "cqg_error.hpp"
#include "cqgcel.hpp"
#include "event_source.hpp"
#include "interface.hpp"
#include "kernel_events.hpp"
#include "scenario.hpp"
#include "thread_queue.hpp"

#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>

#include "module_function.hpp"

#include <algorithm>
#include <cctype>

namespace nb = nanobind;
using namespace cqgemu;

namespace {

const char *const CQG_TYPE_LIBRARY = "{51F35562-AEB4-4AB3-99E8-AC9666344B64}";

nb::object dispatch(nb::handle target, nb::args, nb::kwargs) {
    if (nb::isinstance<nb::str>(target))
        return create_by_program_id(nb::cast<std::string>(target));
    std::optional<Interface> iface = interface_of(target);
    if (!iface)
        throw nb::type_error("Dispatch needs a program id or a COM object");
    require_usable_here(*iface);
    return wrap_for_names(*iface);
}

nb::object load_type_library(const std::string &guid, long /*lcid*/, long major, long /*minor*/) {
    std::string normalized = guid;
    std::transform(normalized.begin(), normalized.end(), normalized.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (!normalized.empty() && normalized.front() != '{')
        normalized = "{" + normalized + "}";
    if (normalized != CQG_TYPE_LIBRARY || major != 4)
        raise_com_error(hresult::TYPE_E_LIBNOTREGISTERED);
    world().type_library_loaded = true;
    return nb::str(CQG_TYPE_LIBRARY);
}

long constant(const std::string &name) {
    std::optional<long> value;
    if (world().type_library_loaded)
        value = cqg_constant(name);
    if (!value) {
        PyErr_SetString(PyExc_AttributeError, name.c_str());
        throw nb::python_error();
    }
    return *value;
}

nb::list constant_names() {
    nb::list names;
    if (world().type_library_loaded)
        for (const Enumeration &enumeration : cqg_enumerations())
            for (const char *member : enumeration.members)
                names.append(member);
    return names;
}

StartupAnswer startup_answer(const std::string &name) {
    if (name == "started")
        return StartupAnswer::Started;
    if (name == "data_error")
        return StartupAnswer::DataError;
    if (name == "data_error_without_object")
        return StartupAnswer::DataErrorWithoutObject;
    if (name == "never")
        return StartupAnswer::NeverAnswered;
    throw nb::value_error(
        "startup must be one of 'started', 'data_error', 'data_error_without_object', 'never'");
}

void load_scenario(const std::string &startup, long error_code,
                   const std::string &error_description,
                   double startup_delay, bool fail_creation, std::uint64_t seed) {
    Scenario scenario;
    scenario.startup = startup_answer(startup);
    scenario.startup_error_code = error_code;
    scenario.startup_error_description = error_description;
    scenario.startup_delay = startup_delay;
    scenario.fail_creation = fail_creation;
    scenario.seed = seed;
    world().scenario = scenario;
}

void reset() {
    World &w = world();
    w.clock.reset();
    w.scenario = Scenario();
    w.current_cel.reset();
    w.last_record.reset();
    purge_dead_queues();
}

std::shared_ptr<Cqgcel> current_cel() {
    auto cel = world().current_cel.lock();
    if (!cel)
        throw std::runtime_error("no CQGCEL object exists");
    return cel;
}

const CelRecord &last_record() {
    if (!world().last_record)
        throw std::runtime_error("no CQGCEL object has been created");
    return *world().last_record;
}

template <class T> nb::list as_list(const std::deque<T> &items) {
    nb::list list;
    for (const T &item : items)
        list.append(nb::cast(item));
    return list;
}

void fire_event(const std::string &name, nb::tuple args) { current_cel()->fire(name, args); }

void schedule_event(double delay, const std::string &name, nb::tuple args) {
    std::weak_ptr<Cqgcel> weak = current_cel();
    nb::tuple event_args = nb::borrow<nb::tuple>(args);
    world().clock.schedule_after(delay, [weak, name, event_args] {
        if (auto cel = weak.lock())
            if (!cel->disconnected())
                cel->fire(name, event_args);
    });
}

void shutdown_emulator() {
    world().clock.reset();
    drop_all_queues();
    release_world();
}

} // namespace

NB_MODULE(_cqgemu, m) {
    define_error_types(m);
    define_interface_types(m);
    define_kernel_events(m);
    define_com_runtime(m);
    define_event_binding(m);

    m.def("Dispatch", &dispatch, nb::arg("dispatch"), nb::arg("args"), nb::arg("kwargs"));
    m.def("load_type_library", &load_type_library, nb::arg("guid"), nb::arg("lcid"),
          nb::arg("major"), nb::arg("minor"));
    m.def("constant", &constant, nb::arg("name"));
    m.def("constant_names", &constant_names);

    // Control of the emulated world, with real signatures for inspect and the type stubs.
    using pyglue::def_function;
    def_function(m, "load_scenario", &load_scenario, nb::kw_only(),
                 nb::arg("startup") = "started", nb::arg("error_code") = 0,
                 nb::arg("error_description") = "", nb::arg("startup_delay") = 0.0,
                 nb::arg("fail_creation") = false, nb::arg("seed") = 0);
    def_function(m, "reset", &reset);
    def_function(m, "fire_event", &fire_event, nb::arg("name"), nb::arg("args"));
    def_function(m, "schedule_event", &schedule_event, nb::arg("delay"), nb::arg("name"),
                 nb::arg("args"));
    def_function(
        m, "make_error",
        [](long code, const std::string &description) {
            return interface_for_this_thread(
                std::make_shared<CqgError>(nullptr, code, description));
        },
        nb::arg("code"), nb::arg("description"));
    def_function(m, "configuration_log", [] {
        nb::list log;
        for (const auto &[name, value] : last_record().assignments)
            log.append(nb::make_tuple(nb::str(name.c_str()), value));
        return log;
    });
    def_function(m, "cel_calls", [] { return as_list(last_record().calls); });
    def_function(m, "configuration_threads",
                 [] { return as_list(last_record().assignment_threads); });
    def_function(m, "cel_call_threads", [] { return as_list(last_record().call_threads); });
    def_function(m, "cel_thread_ident", []() -> nb::object {
        if (!world().last_record)
            return nb::none();
        return nb::int_(world().last_record->thread_ident);
    });
    def_function(m, "sink_count", [] { return current_cel()->connection_count(); });
    def_function(m, "clock_now", [] { return world().clock.now(); });
    def_function(m, "set_clock", [](double t) { world().clock.set_time(t); },
                 nb::arg("epoch_seconds"));
    def_function(m, "advance", [](double seconds) { world().clock.advance(seconds); },
                 nb::arg("seconds"));
    def_function(m, "pending_actions", [] { return world().clock.pending_count(); });
    def_function(
        m, "start_live", [](double speed, double step) { world().clock.start_live(speed, step); },
        nb::arg("speed") = 1.0, nb::arg("step") = 0.1);
    def_function(m, "stop_live", [] { world().clock.stop_live(); });
    def_function(m, "is_live", [] { return world().clock.live(); });
    m.def("_shutdown", &shutdown_emulator);

    nb::object shutdown = m.attr("_shutdown");
    nb::module_::import_("atexit").attr("register")(shutdown);
}
