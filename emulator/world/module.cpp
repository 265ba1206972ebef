// _cqgemu: the emulated COM platform and CQGCEL, fronted by the modules pythoncom, win32event,
// win32com.client and corvane_emulator.
#include "market_controls.hpp"
#include "order_controls.hpp"
#include "program_ids.hpp"
#include "replay_market.hpp"
#include "scenario.hpp"
#include "scenario_accounts.hpp"
#include "scenario_market.hpp"
#include "session_controls.hpp"
#include "world_gateway.hpp"
#include "cqg/cqg_error.hpp"
#include "cqg/cqgcel.hpp"
#include "cqg/type_library.hpp"
#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"
#include "platform/com_runtime.hpp"
#include "platform/com_time.hpp"
#include "platform/container_protocol.hpp"
#include "platform/cqg_members.hpp"
#include "platform/event_source.hpp"
#include "platform/injected_faults.hpp"
#include "platform/dispatch.hpp"
#include "platform/interface.hpp"
#include "platform/interface_types.hpp"
#include "platform/kernel_events.hpp"
#include "platform/platform_settings.hpp"
#include "platform/probe.hpp"
#include "platform/thread_queue.hpp"

#include <nanobind/nanobind.h>
#include <cstdio>
#include <cstdlib>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include "leak_reports.hpp"
#include "module_function.hpp"

#include <algorithm>
#include <cctype>

namespace nb = nanobind;
using namespace cqgemu;

namespace {

// win32com.client.Dispatch itself, with pywin32's parameters (the others are not used): called
// for both arguments of every event, so it is no Python function in front of a C++ one.
nb::object dispatch(nb::handle target, nb::handle /*userName*/, nb::handle /*resultCLSID*/,
                    nb::handle /*typeinfo*/, nb::handle /*clsctx*/) {
    if (nb::isinstance<nb::str>(target))
        return create_by_program_id(nb::cast<std::string>(target));
    // Wrapping asks nothing of the object yet: a proxy used on the wrong thread fails at its
    // first member access, and anything that is no COM object lacks GetTypeInfo.
    std::optional<Interface> iface = interface_of(target);
    if (!iface)
        raise_missing_attribute(target, "GetTypeInfo");
    return wrap_for_names(*iface);
}

nb::object load_type_library(const std::string &guid, long /*lcid*/, long major, long /*minor*/) {
    std::string normalized = guid;
    std::transform(normalized.begin(), normalized.end(), normalized.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (!normalized.empty() && normalized.front() != '{')
        normalized = "{" + normalized + "}";
    if (normalized != kCqgTypeLibrary.guid || major != kCqgTypeLibrary.major)
        raise_com_error(hresult::TYPE_E_LIBNOTREGISTERED);
    world().type_library_loaded = true;
    return nb::str(kCqgTypeLibrary.guid);
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

GatewayAnswer gateway_answer(const char *request, const std::string &name) {
    if (name == "answered")
        return GatewayAnswer::Answered;
    if (name == "never")
        return GatewayAnswer::Never;
    throw nb::value_error((std::string(request) + " must be 'answered' or 'never'").c_str());
}

EventDelivery event_delivery(const std::string &name) {
    if (name == "queued")
        return EventDelivery::Queued;
    if (name == "nested")
        return EventDelivery::Nested;
    throw nb::value_error("event_delivery must be one of 'queued', 'nested'");
}

DispatchKind dispatch_kind(const std::string &name) {
    if (name == "generated")
        return DispatchKind::Generated;
    if (name == "late-bound")
        return DispatchKind::LateBound;
    throw nb::value_error("dispatch must be one of 'generated', 'late-bound'");
}

void load_scenario(const std::string &startup, long error_code,
                   const std::string &error_description,
                   double startup_delay, bool fail_creation, std::uint64_t seed,
                   const std::string &gw_user, const std::string &gw_password,
                   const std::string &logon, const std::string &logoff,
                   const std::string &accounts_reload, nb::handle accounts,
                   nb::handle instruments, long history_bars, double invalid_fraction,
                   const std::string &delivery, const std::string &dispatch) {
    if (history_bars < 0)
        throw nb::value_error("history_bars must not be negative");
    if (!(invalid_fraction >= 0.0 && invalid_fraction <= 1.0))
        throw nb::value_error("invalid_fraction must be between 0 and 1");
    Scenario scenario;
    scenario.market.instruments = instruments_from_python(instruments);
    scenario.market.history_bars = static_cast<size_t>(history_bars);
    scenario.market.invalid_fraction = invalid_fraction;
    scenario.market.seed = seed;
    scenario.gateway.gw_user = gw_user;
    scenario.gateway.gw_password = gw_password;
    scenario.gateway.logon = gateway_answer("logon", logon);
    scenario.gateway.logoff = gateway_answer("logoff", logoff);
    scenario.gateway.accounts_reload = gateway_answer("accounts_reload", accounts_reload);
    scenario.accounts = accounts_from_python(accounts);
    scenario.gateway.startup = startup_answer(startup);
    scenario.gateway.startup_error_code = error_code;
    scenario.gateway.startup_error_description = error_description;
    scenario.gateway.startup_delay = startup_delay;
    scenario.fail_creation = fail_creation;
    scenario.seed = seed;
    world().accounts = AccountBook(scenario.accounts);
    world().market = std::make_shared<MarketState>(scenario.market);
    world().orders = MatchingEngine();
    world().order_faults = OrderFaults();
    scenario.platform.event_delivery = event_delivery(delivery);
    scenario.platform.dispatch = dispatch_kind(dispatch);
    world().scenario = scenario;
    platform_settings() = scenario.platform;
}

void reset() {
    World &w = world();
    w.clock.reset();
    w.scenario = Scenario();
    platform_settings() = w.scenario.platform;
    w.accounts = AccountBook(w.scenario.accounts);
    w.market = std::make_shared<MarketState>(w.scenario.market);
    w.orders = MatchingEngine();
    w.order_faults = OrderFaults();
    clear_faults();
    w.current_cel.reset();
    w.last_record.reset();
    purge_dead_queues();
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

// A fault inside the emulator itself: an action that fails with a C++ exception.
void schedule_failure(double delay, const std::string &message) {
    world().clock.schedule_after(delay, [message] { throw std::runtime_error(message); });
}

// CQGCEL's member names, spelt exactly as its type library declares them.
nb::list declared_members() {
    nb::list names;
    for (const char *name : cqg_member_names())
        names.append(name);
    return names;
}

void shutdown_emulator() {
    world().clock.reset();
    drop_all_queues();
    release_world();
    // Under the test suite a process that released or used an interface after its thread left
    // COM ends with an error, so that the test that started it fails.
    const char *strict = std::getenv("CORVANE_EMULATOR_STRICT_LIFETIME");
    if (strict && std::string(strict) == "1" && lifetime_fault_count() > 0) {
        PySys_WriteStderr("%ld COM interface(s) released or used after their thread called "
                          "CoUninitialize\n",
                          lifetime_fault_count());
        std::fflush(nullptr);
        std::_Exit(3);
    }
}

} // namespace

NB_MODULE(_cqgemu, m) {
    pyglue::quiet_leak_reports_if_daemons_outlive_exit();
    connect_gateway(world_gateway());
    generated_library() = {generated_module_name(kCqgTypeLibrary), kCqgTypeLibrary.description};
    define_error_types(m);
    define_time_type(m);
    define_interface_types(m);
    define_kernel_events(m);
    define_com_runtime(m);
    define_event_binding(m);
    define_container_protocol(m);
    define_session_controls(m);
    define_market_controls(m);
    define_order_controls(m);
    define_probe(m);

    m.def("Dispatch", &dispatch, nb::arg("dispatch").none(),
          nb::arg("userName").none() = nb::none(), nb::arg("resultCLSID").none() = nb::none(),
          nb::arg("typeinfo").none() = nb::none(), nb::arg("clsctx").none() = nb::none(),
          "A program id creates the object in this thread's apartment; a COM object is wrapped "
          "so that its properties and methods can be used by name.");
    m.def("load_type_library", &load_type_library, nb::arg("guid"), nb::arg("lcid"),
          nb::arg("major"), nb::arg("minor"));
    m.def("constant", &constant, nb::arg("name"));
    m.def("constant_names", &constant_names);


    // Control of the emulated world, with real signatures for inspect and the type stubs.
    using pyglue::def_function;
    def_function(m, "load_scenario", &load_scenario, nb::kw_only(),
                 nb::arg("startup") = "started", nb::arg("error_code") = 0,
                 nb::arg("error_description") = "", nb::arg("startup_delay") = 0.0,
                 nb::arg("fail_creation") = false, nb::arg("seed") = 0,
                 nb::arg("gw_user") = "trader", nb::arg("gw_password") = "secret",
                 nb::arg("logon") = "answered", nb::arg("logoff") = "answered",
                 nb::arg("accounts_reload") = "answered", nb::arg("accounts") = nb::none(),
                 nb::arg("instruments") = nb::none(), nb::arg("history_bars") = 200,
                 nb::arg("invalid_fraction") = 0.0, nb::arg("event_delivery") = "queued",
                 nb::arg("dispatch") = "generated");
    def_function(m, "reset", &reset);
    def_function(m, "declared_members", &declared_members);
    def_function(m, "lifetime_fault_count", &lifetime_fault_count);
    def_function(m, "fire_event", &fire_event, nb::arg("name"), nb::arg("args"));
    def_function(m, "schedule_event", &schedule_event, nb::arg("delay"), nb::arg("name"),
                 nb::arg("args"));
    def_function(m, "schedule_failure", &schedule_failure, nb::arg("delay"), nb::arg("message"));
    def_function(m, "make_com_time", &com_time_from_wall_clock, nb::arg("wall_clock_seconds"));
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
    // A recorded market replayed instead of the walk.
    def_function(m, "load_replay", &load_replay, nb::arg("events"), nb::arg("speed").none() = 1.0,
                 nb::kw_only(), nb::arg("live") = true, nb::arg("step") = 0.05);
    def_function(m, "replay_stats", &replay_stats);
    def_function(m, "advance_replay", &advance_replay, nb::arg("count"));

    m.def("_shutdown", &shutdown_emulator);

    nb::object shutdown = m.attr("_shutdown");
    nb::module_::import_("atexit").attr("register")(shutdown);
}
