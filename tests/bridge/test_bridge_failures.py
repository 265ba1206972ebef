"""Failures on the CEL thread reach the caller of Init instead of leaving it waiting."""
import threading

import pytest

from bridge_log import CALLER_SHUTDOWN, CEL_PREPARATION, messages_of, parse_log

pytestmark = pytest.mark.timeout(10)


class PreparationFault:
    """Makes one step of the CEL thread's preparation fail, and keeps what it raised."""

    LAST_CEL_LINE = {"CoInitialize": "COM framework is initializing...",
                     "creation": "CQG.CQGCEL.4 creation...",
                     "marshaling": "Marshal CQGCEL in stream",
                     "internal sink": "Internal sink subscription to events",
                     "sink": "Sink subscription to events"}

    def __init__(self, combridge, cel_platform, monkeypatch, step):
        self.step = step
        self.error = None
        self.sink_type = combridge.CELSinkBase
        pythoncom = combridge.pythoncom
        client = combridge.win32com.client
        if step == "CoInitialize":
            monkeypatch.setattr(pythoncom, "CoInitialize", self.fail)
        elif step == "creation":
            # The emulated platform refuses the program id, as an unregistered class is.
            cel_platform.fail_creation()
            dispatch = client.Dispatch
            monkeypatch.setattr(client, "Dispatch", lambda obj: self.keep(dispatch, obj))
        elif step == "marshaling":
            monkeypatch.setattr(pythoncom, "CoMarshalInterThreadInterfaceInStream", self.fail)
        elif step == "internal sink":
            with_events = client.WithEvents
            monkeypatch.setattr(client, "WithEvents", lambda obj, cls: self.fail() if cls is
                                combridge.SinkInternal else with_events(obj, cls))
        elif step == "sink":
            fault = self

            class FailingSink(combridge.CELSinkBase):
                def __init__(self):
                    fault.fail()

            self.sink_type = FailingSink

    def fail(self, *args):
        self.error = OSError(-2147221005, "Invalid class string")
        raise self.error

    def keep(self, call, *args):
        try:
            return call(*args)
        except Exception as error:
            self.error = error
            raise

    def cel_lines_expected(self):
        return CEL_PREPARATION[:CEL_PREPARATION.index(self.LAST_CEL_LINE[self.step]) + 1]


STEPS = ["CoInitialize", "creation", "marshaling", "internal sink", "sink"]


@pytest.fixture(params=STEPS)
def fault(request, combridge, cel_platform, monkeypatch):
    return PreparationFault(combridge, cel_platform, monkeypatch, request.param)


def test_a_preparation_failure_reaches_init_after_the_thread_ended(
        combridge, fault, thread_errors, capsys):
    bridge = combridge.ComBridge()
    with pytest.raises(Exception) as raised:
        bridge.Init(fault.sink_type, None)
    assert fault.error is not None and raised.value is fault.error
    assert not bridge.thread.is_alive()
    assert thread_errors == []  # reported once, by Init

    lines = parse_log(capsys.readouterr().out)
    assert messages_of(lines, bridge.thread.ident) == fault.cel_lines_expected()
    assert messages_of(lines, threading.get_ident()) == ["Waiting for CQGCEL creation.."]
    assert not hasattr(bridge, "cqgCEL")

    # Shutting down what never started only logs; there is nothing left to stop.
    assert bridge.Shutdown() is None
    assert messages_of(parse_log(capsys.readouterr().out), threading.get_ident()) == \
        CALLER_SHUTDOWN


def test_start_reports_a_preparation_failure_as_one_line(combridge, fault, capsys):
    assert combridge.Start(fault.sink_type) is None
    caller_lines = messages_of(parse_log(capsys.readouterr().out), threading.get_ident())
    assert caller_lines == ["Waiting for CQGCEL creation..", f"Exception: {fault.error}"] + \
        CALLER_SHUTDOWN


class EndingAtStartUpWait(threading.Event):
    """The bridge's start event; once the caller waits on it, `trigger` ends the CEL thread."""

    def __init__(self, trigger):
        super().__init__()
        self.trigger = trigger

    def wait(self, timeout=None):
        self.trigger()
        return super().wait(timeout)


class HoldingCelThread(EndingAtStartUpWait):
    """Also keeps the CEL thread alive, no longer pumping, once it has ended the start-up
    wait: until the shutdown event is signalled (or a bounded wait runs out)."""

    def __init__(self, trigger, win32event, bridge):
        super().__init__(trigger)
        self.win32event = win32event
        self.bridge = bridge

    def set(self):
        super().set()
        if threading.current_thread() is self.bridge.thread:
            self.win32event.WaitForSingleObject(self.bridge.shutdownEvent, 10000)


@pytest.mark.parametrize("ending", ["quit", "unexpected wait result", "shutdown"])
def test_cel_thread_ending_before_the_start_ends_the_start_up_wait(
        combridge, cel_platform, thread_errors, capsys, ending):
    cel_platform.leave_startup_unanswered()
    bridge = combridge.ComBridge()
    win32event = combridge.win32event

    def trigger():
        if ending == "quit":
            cel_platform.post_quit(bridge.thread)
        elif ending == "unexpected wait result":
            cel_platform.inject_wait_result(bridge.thread, win32event.WAIT_ABANDONED_0)
        else:
            win32event.SetEvent(bridge.shutdownEvent)

    bridge.eventCELStarted = HoldingCelThread(trigger, win32event, bridge)

    with pytest.raises(RuntimeError, match="^CEL thread ended before CQGCEL started$") as raised:
        bridge.Init(combridge.CELSinkBase, None)
    # The pump has gone although its thread may still be alive: shutting down makes no call
    # that nobody would answer, and returns.
    assert bridge.Shutdown() is None
    assert not bridge.thread.is_alive()
    assert cel_platform.cel_calls() == ["Startup"]
    lines = parse_log(capsys.readouterr().out)
    assert "CQGCEL has started." not in messages_of(lines, threading.get_ident())
    cel_lines = messages_of(lines, bridge.thread.ident)
    if ending == "unexpected wait result":
        # The pump's own error is the cause, reported once: by Init.
        cause = raised.value.__cause__
        assert type(cause) is RuntimeError and cause.args == ("unexpected win32wait return value",)
        assert thread_errors == []
        assert cel_lines[-1] == "Starting message pumping.."
    else:
        assert raised.value.__cause__ is None
        assert thread_errors == []
        assert cel_lines[-1] == "COM framework is uninitialized!"
