#include "com_bridge.hpp"

#include "com_platform.hpp"
#include "errors.hpp"
#include "progress_log.hpp"
#include "safe_access.hpp"
#include "truth.hpp"

namespace corvane::bridge {

using pyglue::call_method;
using pyglue::read;
using pyglue::write;

namespace {

// A second CEL thread would pump unseen and Shutdown would end only one of them; the
// start-up events are not reset either.
[[noreturn]] void raise_started_already() {
    pyglue::raise_error(PyExc_RuntimeError,
                        "Init was already called on this ComBridge: a ComBridge starts "
                        "CQGCEL once; create a new ComBridge to start again");
}

bool cel_thread_alive(ScopeRef scope, nb::handle self) {
    if (!nb::hasattr(self, scope.names.thread.get()))
        return false;
    nb::object thread = read(self, scope.names.thread);
    return pyglue::is_true(call_method(thread, "is_alive"));
}

// Each property is set on a freshly read APIConfiguration, in this order.
void set_configuration(ScopeRef scope, nb::handle self, const char *property,
                       nb::handle value) {
    nb::object cqgCEL = read(self, scope.names.cqgCEL);
    nb::object configuration = read(cqgCEL, "APIConfiguration");
    write(configuration, property, value);
}

} // namespace

void construct_bridge(ScopeRef scope, nb::handle self) {
    nb::module_ threading = cqgglue::threading_module();
    nb::object Event = read(threading, "Event");
    write(self, scope.names.eventCELStarted, Event());
    Event = read(threading, "Event");
    write(self, scope.names.eventAllPrepared, Event());
    // Unnamed, default security, auto-reset, not signalled.
    nb::object shutdownEvent = call_method(cqgglue::win32event_module(), "CreateEvent",
                                           nb::none(), 0, 0, nb::none());
    write(self, scope.names.shutdownEvent, shutdownEvent);
    write(self, scope.names.errorHappened, nb::bool_(false));
}

nb::object init(ScopeRef scope, nb::handle self, nb::handle sinkType,
                nb::handle customAPIConfiguration) {
    if (nb::hasattr(self, scope.names.initCalled.get()))
        raise_started_already();
    write(self, scope.names.initCalled, nb::bool_(true));

    nb::object threadedFunction = read(self, "threadedFunction");
    // Not a daemon, whatever the calling thread is: the interpreter must not end under a
    // thread that is still in its apartment.
    nb::object Thread = read(cqgglue::threading_module(), "Thread");
    nb::object thread =
        Thread(nb::arg("target") = threadedFunction, nb::arg("args") = nb::make_tuple(sinkType),
               nb::arg("name") = "cel_threadfunc", nb::arg("daemon") = false);
    write(self, scope.names.thread, thread);
    call_method(thread, "start");
    call_method(scope.running, "add", self);

    trace(scope, "Waiting for CQGCEL creation..");
    nb::object prepared = read(self, scope.names.eventAllPrepared);
    call_method(prepared, "wait");

    nb::object failure = nb::getattr(self, scope.names.preparationFailure.get(), nb::none());
    if (!failure.is_none()) {
        call_method(thread, "join");
        pyglue::raise_again(failure);
    }
    trace(scope, "CQGCEL is created!");

    trace(scope, "Marshaled CQGCEL from stream");
    nb::module_ pythoncom = cqgglue::pythoncom_module();
    nb::object cqgCELStream = read(self, scope.names.cqgCELStream);
    nb::object iidDispatch = read(pythoncom, "IID_IDispatch");
    nb::object proxy =
        call_method(pythoncom, "CoGetInterfaceAndReleaseStream", cqgCELStream, iidDispatch);
    nb::object cqgCEL = call_method(cqgglue::win32com_client_module(), "Dispatch", proxy);
    write(self, scope.names.cqgCEL, cqgCEL);
    trace(scope, "CQGCEL is marshaled from stream!");

    call_method(self, "apiConfigurationSet", customAPIConfiguration);
    call_method(self, "startupCel");

    // A start-up data error is not an exception: the caller decides by errorHappened.
    if (pyglue::is_true(read(self, scope.names.errorHappened)))
        trace(scope, "Error happened during CQGCEL start up!");
    return read(self, scope.names.sink);
}

void api_configuration_set(ScopeRef scope, nb::handle self, nb::handle customAPIConfiguration) {
    trace(scope, "CQGCEL default configuring...");
    set_configuration(scope, self, "CollectionsThrowException", nb::bool_(false));
    set_configuration(scope, self, "NewInstrumentChangeMode", nb::bool_(true));
    set_configuration(scope, self, "ReadyStatusCheck", nb::int_(0));
    set_configuration(scope, self, "TimeZoneCode", cqgglue::com_constant("tzChina"));
    set_configuration(scope, self, "IncludeOrderTransactions", nb::bool_(true));
    set_configuration(scope, self, "UseOrderSide", nb::bool_(true));

    // After the defaults, so the caller's values win.
    if (!customAPIConfiguration.is_none()) {
        trace(scope, "CQGCEL custom configuring...");
        nb::object cqgCEL = read(self, scope.names.cqgCEL);
        nb::object apiConfiguration = read(cqgCEL, "APIConfiguration");
        customAPIConfiguration(apiConfiguration);
    }
}

void startup_cel(ScopeRef scope, nb::handle self) {
    trace(scope, "Startup CQGCEL..");
    nb::object cqgCEL = read(self, scope.names.cqgCEL);
    call_method(cqgCEL, "Startup");
    trace(scope, "Waiting for CQGCEL start..");
    // Ended by CELStarted or a data error (both through the internal sink), or by the
    // CEL thread ending first.
    nb::object started = read(self, scope.names.eventCELStarted);
    call_method(started, "wait");
    if (nb::hasattr(self, scope.names.endedBeforeStart.get())) {
        nb::object failure = read(self, scope.names.pumpFailure);
        if (failure.is_none())
            assert_message(nb::bool_(false), nb::str("CEL thread ended before CQGCEL started"));
        pyglue::raise_chained(failure, "CEL thread ended before CQGCEL started");
    }
    trace(scope, "CQGCEL has started.");
}

// Does what still applies: a bridge whose CEL thread never handed CQGCEL over has no
// proxy to shut down, one whose pump has ended has no one to answer the proxy, and a
// thread that has ended is not waited for. The bridge leaves the exit guard's care only
// once its thread has ended: a Shutdown that fails (called from a thread that does not own
// the proxy, say) leaves it to a later Shutdown or to the exit guard.
void shutdown(ScopeRef scope, nb::handle self) {
    trace(scope, "CQGCEL is being shut down..");
    if (nb::hasattr(self, scope.names.cqgCEL.get()) &&
        !nb::hasattr(self, scope.names.pumpEnded.get()) && cel_thread_alive(scope, self)) {
        nb::object cqgCEL = read(self, scope.names.cqgCEL);
        call_method(cqgCEL, "Shutdown");
    }
    nb::object shutdownEvent = read(self, scope.names.shutdownEvent);
    call_method(cqgglue::win32event_module(), "SetEvent", shutdownEvent);
    if (cel_thread_alive(scope, self)) {
        nb::object thread = read(self, scope.names.thread);
        call_method(thread, "join");
    }
    call_method(scope.running, "discard", self);
    trace(scope, "CQGCEL is shut down.");
}

void set_error(ScopeRef scope, nb::handle self) {
    write(self, scope.names.errorHappened, nb::bool_(true));
}

} // namespace corvane::bridge
