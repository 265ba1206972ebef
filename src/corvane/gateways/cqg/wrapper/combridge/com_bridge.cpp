#include "com_bridge.hpp"

#include "class_builder.hpp"
#include "com_platform.hpp"
#include "errors.hpp"
#include "exit_guard.hpp"
#include "progress_log.hpp"
#include "truth.hpp"

#include <exception>

namespace corvane::bridge {

using pyglue::pythoncom_module;
using pyglue::threading_module;
using pyglue::win32com_client_module;
using pyglue::win32event_module;

namespace {

// Set by the CEL thread when it fails before the hand-over: the exception that ended it.
// Init raises it again, so it reaches Init's caller.
const char *const kPreparationFailure = "_celThreadFailure";
// Set by the CEL thread when it ends before CQGCEL has reported its start (or an error):
// the start-up wait would otherwise never end.
const char *const kEndedBeforeStart = "_celThreadEndedBeforeStart";
// Set by the CEL thread when its pump failed while the start-up wait was pending: the
// exception, which Init raises as the cause of its own error.
const char *const kPumpFailure = "_celThreadPumpFailure";
// Set by the CEL thread once its pump has ended: nothing answers a call through the proxy
// any more, so Shutdown does not make one.
const char *const kPumpEnded = "_celPumpEnded";
// Set by the first Init: a bridge starts CQGCEL once.
const char *const kInitCalled = "_initCalled";

bool cel_thread_alive(nb::handle self) {
    return nb::hasattr(self, "thread") &&
           pyglue::is_true(self.attr("thread").attr("is_alive")());
}

void construct(nb::handle self) {
    nb::module_ threading = threading_module();
    nb::setattr(self, "eventCELStarted", threading.attr("Event")());
    nb::setattr(self, "eventAllPrepared", threading.attr("Event")());
    // Unnamed, default security, auto-reset, not signalled.
    nb::setattr(self, "shutdownEvent",
                win32event_module().attr("CreateEvent")(nb::none(), 0, 0, nb::none()));
    nb::setattr(self, "errorHappened", nb::bool_(false));
}

// The CEL thread could not prepare CQGCEL: keep the exception for Init and end its wait,
// as a data error ends the start-up wait.
void hand_over_preparation_failure(nb::handle self, nb::handle exception) {
    nb::setattr(self, kPreparationFailure, exception);
    self.attr("eventAllPrepared").attr("set")();
}

// Once the CEL thread is gone nothing can answer Startup(); a start-up wait still pending
// is ended here and told apart by kEndedBeforeStart, with `failure` (the exception that
// ended the pump, or None) kept for Init. Runs on the CEL thread, as the internal sink
// does, so it cannot overtake a start already reported. False when no wait was pending.
bool release_start_up_wait(nb::handle self, nb::handle failure) {
    nb::object started = self.attr("eventCELStarted");
    if (pyglue::is_true(started.attr("is_set")()))
        return false;
    nb::setattr(self, kPumpFailure, failure);
    nb::setattr(self, kEndedBeforeStart, nb::bool_(true));
    started.attr("set")();
    return true;
}

// Disconnects a sink from CQGCEL's events (the events class's close()).
// A failure is reported as unraisable: the apartment must still be left.
void close_sink(nb::handle sink) {
    if (!sink.is_valid() || sink.is_none())
        return;
    try {
        sink.attr("close")();
    } catch (nb::python_error &error) {
        error.restore();
        PyErr_WriteUnraisable(sink.ptr());
    }
}

// The thread's COM objects are let go here, on their own thread, while it is still in COM:
// both sinks disconnected, then its references to CQGCEL and the internal sink dropped.
// `sink` stays an attribute (closed), as the bridge defines it.
void release_com_objects(nb::handle self, nb::object &cqgCEL, nb::object &internalSink) {
    nb::object sink = nb::getattr(self, "sink", nb::none());
    close_sink(sink);
    close_sink(internalSink);
    internalSink.reset();
    cqgCEL.reset();
}

void pump_then_leave_apartment(nb::handle self, nb::handle pythoncom, nb::object &cqgCEL,
                               nb::object &internalSink) {
    Trace("Starting message pumping..");
    try {
        self.attr("pumpMessages")();
    } catch (nb::python_error &) {
        // The apartment is not left: the exception ends the thread's body.
        nb::setattr(self, kPumpEnded, nb::bool_(true));
        throw;
    }
    nb::setattr(self, kPumpEnded, nb::bool_(true));
    release_com_objects(self, cqgCEL, internalSink);

    Trace("COM framework is uninitializing...");
    pythoncom.attr("CoUninitialize")();
    Trace("COM framework is uninitialized!");
}

void thread_body(nb::handle self, nb::handle sinkType, nb::handle sinkInternalType) {
    nb::module_ pythoncom = pythoncom_module();
    nb::module_ client = win32com_client_module();

    // Both held by this thread for as long as its body runs.
    nb::object cqgCEL;
    nb::object internalSink;
    try {
        Trace("COM framework is initializing...");
        pythoncom.attr("CoInitialize")();
        Trace("COM framework is initialized!");

        Trace("CQG.CQGCEL.4 creation...");
        cqgCEL = client.attr("Dispatch")("CQG.CQGCEL.4");
        Trace("CQG.CQGCEL.4 created!");

        Trace("Marshal CQGCEL in stream");
        nb::object iidDispatch = pythoncom.attr("IID_IDispatch");
        nb::setattr(self, "cqgCELStream",
                    pythoncom.attr("CoMarshalInterThreadInterfaceInStream")(iidDispatch, cqgCEL));
        Trace("CQGCEL is marshaled in stream");

        // The internal sink first, so every event after Startup() reaches both sinks.
        Trace("Internal sink subscription to events");
        internalSink = client.attr("WithEvents")(cqgCEL, sinkInternalType);
        Trace("Internal sink subscribed");

        Trace("Sink subscription to events");
        nb::setattr(self, "sink", client.attr("WithEvents")(cqgCEL, sinkType));
        Trace("Sink subscribed");

        nb::object eventCELStarted = self.attr("eventCELStarted");
        internalSink.attr("Init")(eventCELStarted, self);
        Trace("Internal sink is initialized");
    } catch (nb::python_error &error) {
        hand_over_preparation_failure(self, pyglue::take_exception(error));
        return;
    } catch (const std::exception &failure) {
        // A failure of the glue itself must not leave Init waiting either.
        hand_over_preparation_failure(self, pyglue::exception_from(failure));
        return;
    }

    self.attr("eventAllPrepared").attr("set")();
    try {
        pump_then_leave_apartment(self, pythoncom, cqgCEL, internalSink);
    } catch (nb::python_error &error) {
        // Before the start, Init reports the failure (as its cause); after it, the failure
        // ends the thread and reaches threading's excepthook.
        nb::object failure = pyglue::take_exception(error);
        if (!release_start_up_wait(self, failure))
            pyglue::raise_again(failure);
        return;
    } catch (...) {
        // A failure of the glue itself still releases a start-up wait that is pending.
        release_start_up_wait(self, nb::none());
        throw;
    }
    release_start_up_wait(self, nb::none());
}

void pump_messages(nb::handle self) {
    nb::module_ pythoncom = pythoncom_module();
    nb::module_ win32event = win32event_module();
    nb::object shutdownEvent = self.attr("shutdownEvent");
    nb::tuple handles = nb::make_tuple(shutdownEvent);

    for (;;) {
        // Sleeps (without the GIL) until shutdown is signalled or the queue has input.
        nb::object no_timeout = win32event.attr("INFINITE");
        nb::object any_message = win32event.attr("QS_ALLEVENTS");
        nb::object result = win32event.attr("MsgWaitForMultipleObjects")(handles, 0, no_timeout,
                                                                         any_message);

        nb::object shutdown_signalled = win32event.attr("WAIT_OBJECT_0");
        if (result.equal(shutdown_signalled))
            return;
        if (!result.equal(shutdown_signalled + nb::int_(1)))
            AssertMessage(nb::bool_(false), nb::str("unexpected win32wait return value"));

        // Every CQGCEL event and every call from the calling thread runs in here.
        bool quit_pumped = pyglue::is_true(pythoncom.attr("PumpWaitingMessages")());
        if (quit_pumped)
            return;
    }
}

nb::object init(nb::handle self, nb::handle sinkType, nb::handle customAPIConfiguration,
                nb::handle running) {
    // A second CEL thread would pump unseen and Shutdown would end only one of them; the
    // start-up events are not reset either.
    if (nb::hasattr(self, kInitCalled)) {
        PyErr_SetString(PyExc_RuntimeError,
                        "Init was already called on this ComBridge: a ComBridge starts "
                        "CQGCEL once; create a new ComBridge to start again");
        throw nb::python_error();
    }
    nb::setattr(self, kInitCalled, nb::bool_(true));

    nb::object threadedFunction = self.attr("threadedFunction");
    // Not a daemon, whatever the calling thread is: the interpreter must not end under a
    // thread that is still in its apartment.
    nb::object thread = threading_module().attr("Thread")(
        nb::arg("target") = threadedFunction, nb::arg("args") = nb::make_tuple(sinkType),
        nb::arg("name") = "cel_threadfunc", nb::arg("daemon") = false);
    nb::setattr(self, "thread", thread);
    thread.attr("start")();
    running.attr("add")(self);

    Trace("Waiting for CQGCEL creation..");
    self.attr("eventAllPrepared").attr("wait")();

    nb::object failure = nb::getattr(self, kPreparationFailure, nb::none());
    if (!failure.is_none()) {
        thread.attr("join")();
        pyglue::raise_again(failure);
    }
    Trace("CQGCEL is created!");

    Trace("Marshaled CQGCEL from stream");
    nb::module_ pythoncom = pythoncom_module();
    nb::object cqgCELStream = self.attr("cqgCELStream");
    nb::object iidDispatch = pythoncom.attr("IID_IDispatch");
    nb::object proxy =
        pythoncom.attr("CoGetInterfaceAndReleaseStream")(cqgCELStream, iidDispatch);
    nb::setattr(self, "cqgCEL", win32com_client_module().attr("Dispatch")(proxy));
    Trace("CQGCEL is marshaled from stream!");

    self.attr("apiConfigurationSet")(customAPIConfiguration);
    self.attr("startupCel")();

    // A start-up data error is not an exception: the caller decides by errorHappened.
    if (pyglue::is_true(self.attr("errorHappened")))
        Trace("Error happened during CQGCEL start up!");
    return self.attr("sink");
}

// Each property is set on a freshly read APIConfiguration, in this order.
void set_configuration(nb::handle self, const char *property, nb::handle value) {
    nb::setattr(self.attr("cqgCEL").attr("APIConfiguration"), property, value);
}

void api_configuration_set(nb::handle self, nb::handle customAPIConfiguration) {
    Trace("CQGCEL default configuring...");
    set_configuration(self, "CollectionsThrowException", nb::bool_(false));
    set_configuration(self, "NewInstrumentChangeMode", nb::bool_(true));
    set_configuration(self, "ReadyStatusCheck", nb::int_(0));
    set_configuration(self, "TimeZoneCode", pyglue::com_constant("tzChina"));
    set_configuration(self, "IncludeOrderTransactions", nb::bool_(true));
    set_configuration(self, "UseOrderSide", nb::bool_(true));

    // After the defaults, so the caller's values win.
    if (!customAPIConfiguration.is_none()) {
        Trace("CQGCEL custom configuring...");
        // Read before the call: a read failing through the proxy then raises, not aborts.
        nb::object apiConfiguration = self.attr("cqgCEL").attr("APIConfiguration");
        customAPIConfiguration(apiConfiguration);
    }
}

void startup_cel(nb::handle self) {
    Trace("Startup CQGCEL..");
    self.attr("cqgCEL").attr("Startup")();
    Trace("Waiting for CQGCEL start..");
    // Ended by CELStarted or a data error (both through the internal sink), or by the
    // CEL thread ending first.
    self.attr("eventCELStarted").attr("wait")();
    if (nb::hasattr(self, kEndedBeforeStart)) {
        nb::object failure = self.attr(kPumpFailure);
        if (failure.is_none())
            AssertMessage(nb::bool_(false), nb::str("CEL thread ended before CQGCEL started"));
        pyglue::raise_chained(failure, "CEL thread ended before CQGCEL started");
    }
    Trace("CQGCEL has started.");
}

// Does what still applies: a bridge whose CEL thread never handed CQGCEL over has no
// proxy to shut down, one whose pump has ended has no one to answer the proxy, and a
// thread that has ended is not waited for. The bridge leaves the exit guard's care only
// once its thread has ended: a Shutdown that fails (called from a thread that does not own
// the proxy, say) leaves it to a later Shutdown or to the exit guard.
void shutdown(nb::handle self, nb::handle running) {
    Trace("CQGCEL is being shut down..");
    if (nb::hasattr(self, "cqgCEL") && !nb::hasattr(self, kPumpEnded) && cel_thread_alive(self))
        self.attr("cqgCEL").attr("Shutdown")();
    nb::object shutdownEvent = self.attr("shutdownEvent");
    win32event_module().attr("SetEvent")(shutdownEvent);
    if (cel_thread_alive(self))
        self.attr("thread").attr("join")();
    running.attr("discard")(self);
    Trace("CQGCEL is shut down.");
}

void set_error(nb::handle self) { nb::setattr(self, "errorHappened", nb::bool_(true)); }

} // namespace

nb::object make_com_bridge(nb::handle module, nb::handle sink_internal) {
    nb::object sinkInternalType = nb::borrow(sink_internal);
    nb::object running = running_bridges_with_exit_hook();

    pyglue::ClassBuilder bridge(module, "ComBridge", nb::tuple(),
                                "Runs CQGCEL on a thread of its own and hands it over to "
                                "the calling thread.");
    bridge.def("__init__", &construct)
        .def("Init",
             [running](nb::handle self, nb::handle sinkType, nb::handle customAPIConfiguration) {
                 return init(self, sinkType, customAPIConfiguration, running);
             },
             nb::arg("sinkType").none(), nb::arg("customAPIConfiguration").none())
        .def("threadedFunction",
             [sinkInternalType](nb::handle self, nb::handle sinkType) {
                 thread_body(self, sinkType, sinkInternalType);
             },
             nb::arg("sinkType").none())
        .def("pumpMessages", &pump_messages)
        .def("apiConfigurationSet", &api_configuration_set,
             nb::arg("customAPIConfiguration").none())
        .def("startupCel", &startup_cel)
        .def("Shutdown", [running](nb::handle self) { shutdown(self, running); })
        .def("SetError", &set_error);
    return bridge.get();
}

} // namespace corvane::bridge
