"""Events reach sinks made by WithEvents on the subscribing thread, inside its pump only."""
import threading

import pytest

import corvane_emulator as emu
import pythoncom
import win32com.client
from corvane._testing._pyglue_probe import Counter

from emulator_helpers import OwnerThread, outcomes_on_a_new_thread, wait_until

pytestmark = pytest.mark.timeout(20)


class RecordingSink:
    def __init__(self):
        self.seen = []

    def OnCELStarted(self):
        self.seen.append(("CELStarted", threading.get_ident()))

    def OnDataError(self, cqgError, errorDescription):
        if cqgError is None:
            self.seen.append(("DataError", None, errorDescription))
        else:
            error = win32com.client.Dispatch(cqgError)
            self.seen.append(("DataError", error.Code, error.Description, errorDescription))

    def OnGWConnectionStatusChanged(self, newStatus):
        self.seen.append(("GWConnectionStatusChanged", newStatus))


def test_events_are_delivered_only_inside_the_pump(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, RecordingSink)
    cel.Startup()
    emu.fire_event("GWConnectionStatusChanged", 7)
    assert sink.seen == []
    assert pythoncom.PumpWaitingMessages() == 0
    assert sink.seen == [("CELStarted", apartment), ("GWConnectionStatusChanged", 7)]


def test_startup_is_answered_on_the_sink_thread_while_the_caller_uses_a_proxy(owner_thread):
    owner = owner_thread(sink_class=RecordingSink)
    owner.proxy().Startup()
    assert wait_until(lambda: owner.sink.seen)
    assert owner.sink.seen == [("CELStarted", owner.ident)]


@pytest.mark.parametrize("scenario, expected", [
    (dict(startup="data_error", error_code=5, error_description="bad symbol"),
     [("DataError", 5, "bad symbol", "bad symbol")]),
    (dict(startup="data_error_without_object", error_description="no data"),
     [("DataError", None, "no data")]),
])
def test_startup_can_be_answered_by_a_data_error(apartment, scenario, expected):
    emu.load_scenario(**scenario)
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, RecordingSink)
    cel.Startup()
    pythoncom.PumpWaitingMessages()
    assert sink.seen == expected


def test_startup_that_is_never_answered_or_answered_late(apartment):
    emu.load_scenario(startup="never")
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, RecordingSink)
    cel.Startup()
    emu.advance(3600)
    pythoncom.PumpWaitingMessages()
    assert sink.seen == []

    emu.load_scenario(startup_delay=2.0)
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, RecordingSink)
    cel.Startup()
    emu.advance(1.5)
    pythoncom.PumpWaitingMessages()
    assert sink.seen == []
    emu.advance(0.5)
    pythoncom.PumpWaitingMessages()
    assert sink.seen == [("CELStarted", apartment)]


def test_a_failing_handler_is_reported_and_the_pump_goes_on(apartment, capfd):
    class FailingSink(RecordingSink):
        def OnGWConnectionStatusChanged(self, newStatus):
            raise ValueError("handler failed on %s" % newStatus)

    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, FailingSink)
    emu.fire_event("GWConnectionStatusChanged", 1)
    emu.fire_event("CELStarted")
    emu.fire_event("EventWithoutHandler", 1, 2)
    assert pythoncom.PumpWaitingMessages() == 0
    assert sink.seen == [("CELStarted", apartment)]
    err = capfd.readouterr().err
    assert err.startswith("pythoncom error: Python error invoking COM method.\n\n"
                          "Traceback (most recent call last):\n")
    assert err.rstrip().endswith("ValueError: handler failed on 1")


def test_every_sink_gets_each_event_in_subscription_order(apartment):
    order = []

    class First:
        def OnCELStarted(self):
            order.append("first")

    class Second:
        def OnCELStarted(self):
            order.append("second")

    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    win32com.client.WithEvents(cel, First)
    win32com.client.WithEvents(cel, Second)
    assert emu.sink_count() == 2
    emu.fire_event("CELStarted")
    emu.fire_event("CELStarted")
    pythoncom.PumpWaitingMessages()
    assert order == ["first", "second", "first", "second"]


def test_with_events_mixes_in_a_class_made_in_cpp(apartment):
    class CountingSink(Counter):
        def OnGWConnectionStatusChanged(self, newStatus):
            self.add(newStatus)

    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, CountingSink)
    assert isinstance(sink, CountingSink) and isinstance(sink, Counter)
    assert sink.count == 0  # the class's own constructor ran, without arguments
    emu.fire_event("GWConnectionStatusChanged", 3)
    emu.fire_event("GWConnectionStatusChanged", 4)
    pythoncom.PumpWaitingMessages()
    assert sink.count == 7

    plain = win32com.client.WithEvents(cel, Counter)
    assert type(plain).__mro__[2] is Counter and plain.count == 0


@pytest.mark.parametrize("dispatch", ["generated", "late-bound"])
def test_objects_in_event_arguments_arrive_wrapped(apartment, dispatch):
    # As the events class hands them over: each object already through Dispatch, so a
    # handler can use it by name at once, and Dispatch of it again gives an equal wrapper.
    emu.load_scenario(dispatch=dispatch)
    received = []

    class Sink:
        def OnDataError(self, cqgError, errorDescription):
            again = win32com.client.Dispatch(cqgError)
            received.append((cqgError, cqgError.Code, again, again.Code, errorDescription))

    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    win32com.client.WithEvents(cel, Sink)
    emu.fire_event("DataError", emu.make_error(11, "late"), "late")
    pythoncom.PumpWaitingMessages()
    [(error, code, again, code_again, description)] = received
    assert (code, code_again, description) == (11, 11, "late")
    assert again == error and again is not error and type(again) is type(error)
    assert type(error).__name__ != "PyIDispatch"
    assert isinstance(error, win32com.client.CDispatch) == (dispatch == "late-bound")


def test_with_events_needs_an_apartment_and_an_event_source(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    with pytest.raises(ValueError, match=r"^This COM object does not support events\.$"):
        win32com.client.WithEvents(cel.APIConfiguration, RecordingSink)
    with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'GetTypeInfo'"):
        win32com.client.WithEvents(None, RecordingSink)
    outcomes = outcomes_on_a_new_thread(lambda: win32com.client.WithEvents(cel, RecordingSink))
    assert outcomes == [-2147417842]  # the object belongs to this thread
    assert emu.sink_count() == 0


def test_with_events_on_a_proxy_needs_the_callers_apartment(owner_thread):
    owner = owner_thread()
    proxies = []
    outcomes = outcomes_on_a_new_thread(
        pythoncom.CoInitialize,
        lambda: proxies.append(owner.proxy()),
        pythoncom.CoUninitialize,
        lambda: win32com.client.WithEvents(proxies[0], RecordingSink))
    assert outcomes == ["done"] * 3 + [-2147221008]  # CoInitialize has not been called
    assert emu.sink_count() == 0


def test_sinks_connected_while_an_event_is_fired_get_the_next_one(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    first = win32com.client.WithEvents(cel, RecordingSink)
    late = []

    class Subscribing:
        """An event argument whose conversion connects more sinks (enough to move the
        connection list in memory) while the event is being fired."""

        @property
        def _oleobj_(self):
            if not late:
                late.extend(win32com.client.WithEvents(cel, RecordingSink) for _ in range(50))
            return cel._oleobj_

    emu.fire_event("GWConnectionStatusChanged", Subscribing())
    assert emu.sink_count() == 51
    emu.fire_event("GWConnectionStatusChanged", 2)
    pythoncom.PumpWaitingMessages()
    assert first.seen == [("GWConnectionStatusChanged", cel._oleobj_),
                          ("GWConnectionStatusChanged", 2)]
    assert all(sink.seen == [("GWConnectionStatusChanged", 2)] for sink in late)


def test_a_sink_holds_its_connection_and_close_disconnects_it(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, RecordingSink)
    other = win32com.client.WithEvents(cel, RecordingSink)
    assert set(vars(sink)) == {"_olecp", "_olecp_cookie", "seen"}
    assert sink._olecp_cookie != other._olecp_cookie
    events_class = type(sink).__mro__[1]
    assert "close" in vars(events_class) and "close" not in vars(RecordingSink)

    sink.close()
    assert sink._olecp is None and sink._olecp_cookie is None and emu.sink_count() == 1
    sink.close()  # closed already: nothing to do
    emu.fire_event("CELStarted")
    pythoncom.PumpWaitingMessages()
    assert sink.seen == [] and other.seen == [("CELStarted", apartment)]


class StepSink:
    def __init__(self):
        self.order = []
        self.probe = None

    def OnStep(self, n):
        self.order.append(("handler", n))
        if n == 1:
            self.probe.Fire("Step", 2)
            self.order.append(("back in handler", n))


def test_nested_delivery_runs_handlers_inside_the_call_that_fires(apartment):
    emu.load_scenario(event_delivery="nested")
    probe = emu.make_probe()
    sink = win32com.client.WithEvents(probe, StepSink)
    sink.probe = probe
    probe.Fire("Step", 1)
    sink.order.append("call returned")
    assert sink.order == [("handler", 1), ("handler", 2), ("back in handler", 1), "call returned"]
    assert pythoncom.PumpWaitingMessages() == 0 and len(sink.order) == 4

    emu.load_scenario(event_delivery="queued")
    sink.order.clear()
    probe.Fire("Step", 3)
    assert sink.order == []
    pythoncom.PumpWaitingMessages()
    assert sink.order == [("handler", 3)]


def test_nested_delivery_closing_a_sink_inside_a_handler_stops_its_event(apartment):
    emu.load_scenario(event_delivery="nested")
    probe = emu.make_probe()
    seen = []
    sinks = []

    class Closing:
        def OnStep(self, n):
            seen.append((self, n))
            sinks[1].close()

    sinks.extend(win32com.client.WithEvents(probe, Closing) for _ in range(2))
    probe.Fire("Step", 1)
    assert seen == [(sinks[0], 1)]


def test_nested_delivery_runs_incoming_events_while_the_thread_waits_on_a_call():
    emu.load_scenario(event_delivery="nested")
    owner = OwnerThread(pump=False).__enter__()  # takes calls but never answers them
    cel = owner.proxy()
    sink = win32com.client.WithEvents(cel, RecordingSink)  # events come to this thread

    def meanwhile():
        wait_until(lambda: emu.waiting_message_count(owner.ident) == 1)
        emu.fire_event("GWConnectionStatusChanged", 4)
        wait_until(lambda: sink.seen)
        owner.release.set()  # the owner leaves: the waiting call fails

    helper = threading.Thread(target=meanwhile, daemon=True)
    helper.start()
    with pytest.raises(pythoncom.com_error):
        cel.Shutdown()
    helper.join(5)
    owner.stop()
    assert sink.seen == [("GWConnectionStatusChanged", 4)]
