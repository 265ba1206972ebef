#include "cel_thread.hpp"

#include "com_platform.hpp"
#include "errors.hpp"
#include "progress_log.hpp"
#include "safe_access.hpp"
#include "truth.hpp"

#include <exception>

namespace corvane::bridge {

using pyglue::call_method;
using pyglue::read;
using pyglue::write;

namespace {

// The CEL thread could not prepare CQGCEL: keep the exception for Init and end its wait,
// as a data error ends the start-up wait.
void hand_over_preparation_failure(ScopeRef scope, nb::handle self, nb::handle exception) {
    write(self, scope.names.preparationFailure, exception);
    nb::object prepared = read(self, scope.names.eventAllPrepared);
    call_method(prepared, "set");
}

// Once the CEL thread is gone nothing can answer Startup(); a start-up wait still pending
// is ended here and told apart by endedBeforeStart, with `failure` (the exception that
// ended the pump, or None) kept for Init. Runs on the CEL thread, as the internal sink
// does, so it cannot overtake a start already reported. False when no wait was pending.
bool release_start_up_wait(ScopeRef scope, nb::handle self, nb::handle failure) {
    nb::object started = read(self, scope.names.eventCELStarted);
    if (pyglue::is_true(call_method(started, "is_set")))
        return false;
    write(self, scope.names.pumpFailure, failure);
    write(self, scope.names.endedBeforeStart, nb::bool_(true));
    call_method(started, "set");
    return true;
}

// Disconnects a sink from CQGCEL's events (the events class's close()).
// A failure is reported as unraisable: the apartment must still be left.
void close_sink(nb::handle sink) {
    if (!sink.is_valid() || sink.is_none())
        return;
    try {
        call_method(sink, "close");
    } catch (nb::python_error &error) {
        error.restore();
        PyErr_WriteUnraisable(sink.ptr());
    }
}

// The thread's COM objects are let go here, on their own thread, while it is still in COM:
// both sinks disconnected, then its references to CQGCEL and the internal sink dropped.
// `sink` stays an attribute (closed), as the bridge defines it.
void release_com_objects(ScopeRef scope, nb::handle self, nb::object &cqgCEL,
                         nb::object &internalSink) {
    nb::object sink = nb::getattr(self, scope.names.sink.get(), nb::none());
    close_sink(sink);
    close_sink(internalSink);
    internalSink.reset();
    cqgCEL.reset();
}

void pump_then_leave_apartment(ScopeRef scope, nb::handle self, nb::handle pythoncom,
                               nb::object &cqgCEL, nb::object &internalSink) {
    trace(scope, "Starting message pumping..");
    try {
        call_method(self, "pumpMessages");
    } catch (nb::python_error &) {
        // The apartment is not left: the exception ends the thread's body.
        write(self, scope.names.pumpEnded, nb::bool_(true));
        throw;
    }
    write(self, scope.names.pumpEnded, nb::bool_(true));
    release_com_objects(scope, self, cqgCEL, internalSink);

    trace(scope, "COM framework is uninitializing...");
    call_method(pythoncom, "CoUninitialize");
    trace(scope, "COM framework is uninitialized!");
}

} // namespace

void run_cel_thread(ScopeRef scope, nb::handle self, nb::handle sinkType) {
    nb::module_ pythoncom = cqgglue::pythoncom_module();
    nb::module_ client = cqgglue::win32com_client_module();

    // Both held by this thread for as long as its body runs.
    nb::object cqgCEL;
    nb::object internalSink;
    try {
        trace(scope, "COM framework is initializing...");
        call_method(pythoncom, "CoInitialize");
        trace(scope, "COM framework is initialized!");

        trace(scope, "CQG.CQGCEL.4 creation...");
        cqgCEL = call_method(client, "Dispatch", "CQG.CQGCEL.4");
        trace(scope, "CQG.CQGCEL.4 created!");

        trace(scope, "Marshal CQGCEL in stream");
        nb::object iidDispatch = read(pythoncom, "IID_IDispatch");
        nb::object stream =
            call_method(pythoncom, "CoMarshalInterThreadInterfaceInStream", iidDispatch, cqgCEL);
        write(self, scope.names.cqgCELStream, stream);
        trace(scope, "CQGCEL is marshaled in stream");

        // The internal sink first, so every event after Startup() reaches both sinks.
        trace(scope, "Internal sink subscription to events");
        internalSink = call_method(client, "WithEvents", cqgCEL, scope.sink_internal);
        trace(scope, "Internal sink subscribed");

        trace(scope, "Sink subscription to events");
        nb::object sink = call_method(client, "WithEvents", cqgCEL, sinkType);
        write(self, scope.names.sink, sink);
        trace(scope, "Sink subscribed");

        nb::object eventCELStarted = read(self, scope.names.eventCELStarted);
        call_method(internalSink, "Init", eventCELStarted, self);
        trace(scope, "Internal sink is initialized");
    } catch (nb::python_error &error) {
        hand_over_preparation_failure(scope, self, pyglue::take_exception(error));
        return;
    } catch (const std::exception &failure) {
        // A failure of the glue itself must not leave Init waiting either.
        hand_over_preparation_failure(scope, self, pyglue::exception_from(failure));
        return;
    }

    nb::object prepared = read(self, scope.names.eventAllPrepared);
    call_method(prepared, "set");
    try {
        pump_then_leave_apartment(scope, self, pythoncom, cqgCEL, internalSink);
    } catch (nb::python_error &error) {
        // Before the start, Init reports the failure (as its cause); after it, the failure
        // ends the thread and reaches threading's excepthook.
        nb::object failure = pyglue::take_exception(error);
        if (!release_start_up_wait(scope, self, failure))
            pyglue::raise_again(failure);
        return;
    } catch (...) {
        // A failure of the glue itself still releases a start-up wait that is pending.
        release_start_up_wait(scope, self, nb::none());
        throw;
    }
    release_start_up_wait(scope, self, nb::none());
}

void pump_messages(ScopeRef scope, nb::handle self) {
    nb::module_ pythoncom = cqgglue::pythoncom_module();
    nb::module_ win32event = cqgglue::win32event_module();
    nb::object shutdownEvent = read(self, scope.names.shutdownEvent);
    nb::tuple handles = nb::make_tuple(shutdownEvent);

    for (;;) {
        // Sleeps (without the GIL) until shutdown is signalled or the queue has input.
        nb::object no_timeout = read(win32event, "INFINITE");
        nb::object any_message = read(win32event, "QS_ALLEVENTS");
        nb::object result = call_method(win32event, "MsgWaitForMultipleObjects", handles, 0,
                                        no_timeout, any_message);

        nb::object shutdown_signalled = read(win32event, "WAIT_OBJECT_0");
        if (result.equal(shutdown_signalled))
            return;
        if (!result.equal(shutdown_signalled + nb::int_(1)))
            assert_message(nb::bool_(false), nb::str("unexpected win32wait return value"));

        // Every CQGCEL event and every call from the calling thread runs in here.
        bool quit_pumped = pyglue::is_true(call_method(pythoncom, "PumpWaitingMessages"));
        if (quit_pumped)
            return;
    }
}

} // namespace corvane::bridge
