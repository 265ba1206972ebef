"""The bridge from construction to shut-down: the CEL thread, the hand-over, the API
configuration, the start-up wait and the message pump."""
import subprocess
import sys
import threading

import pytest

from bridge_log import (CALLER_HAND_OVER, CALLER_SHUTDOWN, CEL_PREPARATION,
                        CEL_UNINITIALIZING, MODULE, messages_of, parse_log)

pytestmark = pytest.mark.timeout(10)

def make_sink_type(combridge):
    class Sink(combridge.CELSinkBase):
        """Remembers where it was made and which start-up events reached it."""

        def __init__(self):
            self.made_on = threading.get_ident()
            self.events = []

        def OnCELStarted(self):
            self.events.append(("CELStarted", threading.get_ident()))

        def OnDataError(self, cqgError, errorDescription):
            self.events.append(("DataError", threading.get_ident()))

    return Sink


@pytest.fixture
def bridge(combridge, cel_platform):
    """A constructed bridge; shut down at the end of the test if the test left it running."""
    made = combridge.ComBridge()
    yield made
    if getattr(made, "thread", None) is not None and made.thread.is_alive():
        made.Shutdown()


def test_constructor_attributes(combridge):
    made = combridge.ComBridge()
    assert list(vars(made)) == ["eventCELStarted", "eventAllPrepared", "shutdownEvent",
                                "errorHappened"]
    assert isinstance(made.eventCELStarted, threading.Event)
    assert isinstance(made.eventAllPrepared, threading.Event)
    assert not made.eventCELStarted.is_set() and not made.eventAllPrepared.is_set()
    assert made.errorHappened is False


def test_full_start_up_and_shut_down(combridge, bridge, cel_platform, capsys):
    Sink = make_sink_type(combridge)
    caller = threading.get_ident()

    sink = bridge.Init(Sink, None)
    assert type(sink) is not Sink and isinstance(sink, Sink)  # subscribed through WithEvents
    assert bridge.sink is sink
    cel = bridge.thread.ident
    assert bridge.thread.name == "cel_threadfunc" and not bridge.thread.daemon
    assert bridge.thread.is_alive() and cel != caller
    assert sink.made_on == cel
    assert bridge.errorHappened is False and bridge.eventCELStarted.is_set()

    assert bridge.Shutdown() is None
    assert not bridge.thread.is_alive()
    # The CEL thread disconnected the sink before it left COM; the attribute stays.
    assert bridge.sink is sink and sink._olecp is None and sink._olecp_cookie is None

    lines = parse_log(capsys.readouterr().out)
    assert {who for who, _ in lines} == {caller, cel}
    assert messages_of(lines, cel) == \
        CEL_PREPARATION + ["SinkInternal: CELStarted!"] + CEL_UNINITIALIZING
    assert messages_of(lines, caller) == CALLER_HAND_OVER + CALLER_SHUTDOWN
    # Across the threads: the hand-over, the start and the end are each awaited.
    position = {(who, message): at for at, (who, message) in enumerate(lines)}
    assert position[(cel, "Internal sink is initialized")] < position[(caller, "CQGCEL is created!")]
    assert position[(cel, "SinkInternal: CELStarted!")] < position[(caller, "CQGCEL has started.")]
    assert position[(caller, "CQGCEL is being shut down..")] < \
        position[(cel, "COM framework is uninitializing...")]
    assert position[(cel, "COM framework is uninitialized!")] < \
        position[(caller, "CQGCEL is shut down.")]
    # Both sinks are subscribed before Startup(), so the application's sink saw it too.
    assert sink.events == [("CELStarted", cel)]
    assert cel_platform.cel_calls() == ["Startup", "Shutdown"]
    assert set(cel_platform.emulator.cel_call_threads()) == {cel}


def defaults(combridge):
    return [("CollectionsThrowException", False), ("NewInstrumentChangeMode", True),
            ("ReadyStatusCheck", 0), ("TimeZoneCode", combridge.constants.tzChina),
            ("IncludeOrderTransactions", True), ("UseOrderSide", True)]


class TestApiConfiguration:
    def test_six_defaults_in_order(self, combridge, bridge, cel_platform, capsys):
        bridge.Init(combridge.CELSinkBase, None)
        log = cel_platform.configuration_log()
        assert log == defaults(combridge)
        assert [type(value) for _, value in log] == [bool, bool, int, int, bool, bool]
        assert bridge.cqgCEL.APIConfiguration.TimeZoneCode == combridge.constants.tzChina
        assert "CQGCEL custom configuring..." not in capsys.readouterr().out

    def test_custom_configuration_runs_once_after_the_defaults_and_wins(
            self, combridge, bridge, cel_platform, capsys):
        seen_before = []

        def custom(configuration):
            seen_before.append(cel_platform.configuration_log())
            configuration.UseOrderSide = False
            return "ignored"

        bridge.Init(combridge.CELSinkBase, custom)
        assert seen_before == [defaults(combridge)]
        assert cel_platform.configuration_log() == \
            defaults(combridge) + [("UseOrderSide", False)]
        assert bridge.cqgCEL.APIConfiguration.UseOrderSide is False

        caller_lines = messages_of(parse_log(capsys.readouterr().out), threading.get_ident())
        at = caller_lines.index("CQGCEL default configuring...")
        assert caller_lines[at:at + 3] == ["CQGCEL default configuring...",
                                           "CQGCEL custom configuring...", "Startup CQGCEL.."]

    def test_a_failing_custom_configuration_reaches_the_caller(self, combridge, bridge):
        def custom(configuration):
            raise KeyError("no such setting")

        with pytest.raises(KeyError, match="no such setting"):
            bridge.Init(combridge.CELSinkBase, custom)
        bridge.Shutdown()
        assert not bridge.thread.is_alive()

    def test_a_failing_read_for_the_custom_configuration_raises(self, combridge):
        # In a child process: a read failing inside a call's argument conversion would
        # abort the process instead of raising.
        script = f"""
import types
import pythoncom
from {MODULE} import ComBridge

class DisconnectingCel:
    # Serves the default configuration, then has lost its server.
    reads = 0

    @property
    def APIConfiguration(self):
        self.reads += 1
        if self.reads > {len(defaults(combridge))}:
            raise pythoncom.com_error(-2147417848, "disconnected", None, None)
        return types.SimpleNamespace()

bridge = ComBridge()
bridge.cqgCEL = DisconnectingCel()
called = []
try:
    bridge.apiConfigurationSet(called.append)
except pythoncom.com_error as error:
    print("raised", error.hresult, called, bridge.cqgCEL.reads)
"""
        run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                             timeout=30)
        assert run.returncode == 0, run.stderr
        # The defaults were set; the read for the custom configuration failed.
        reads = len(defaults(combridge)) + 1
        assert run.stdout.splitlines()[-1] == f"raised -2147417848 [] {reads}"


@pytest.mark.parametrize("error", [(5, "bad symbol"), None], ids=["error-object", "none"])
def test_start_up_data_error(combridge, bridge, cel_platform, error, capsys):
    cel_platform.answer_startup_with_data_error(*(error or ()))
    Sink = make_sink_type(combridge)

    sink = bridge.Init(Sink, None)
    assert isinstance(sink, Sink)
    assert bridge.errorHappened is True
    bridge.Shutdown()

    lines = parse_log(capsys.readouterr().out)
    cel = bridge.thread.ident
    expected_error_line = ["SinkInternal: OnDataError: Code: 5 Description: bad symbol"]
    assert messages_of(lines, cel) == \
        CEL_PREPARATION + (expected_error_line if error else []) + CEL_UNINITIALIZING
    assert messages_of(lines, threading.get_ident()) == \
        CALLER_HAND_OVER + ["Error happened during CQGCEL start up!"] + CALLER_SHUTDOWN
    assert sink.events == [("DataError", cel)]


class TestMessagePump:
    def test_a_quit_message_ends_the_pump(self, combridge, bridge, cel_platform, capsys):
        bridge.Init(combridge.CELSinkBase, None)
        cel_platform.post_quit(bridge.thread)
        bridge.thread.join(timeout=5)
        assert not bridge.thread.is_alive()
        cel_lines = messages_of(parse_log(capsys.readouterr().out), bridge.thread.ident)
        assert cel_lines[-3:] == ["SinkInternal: CELStarted!"] + CEL_UNINITIALIZING

        # The thread is gone: shutting down neither calls into it nor waits for it.
        assert bridge.Shutdown() is None
        assert messages_of(parse_log(capsys.readouterr().out), threading.get_ident()) == \
            CALLER_SHUTDOWN
        assert cel_platform.cel_calls() == ["Startup"]

    @pytest.mark.parametrize("result", ["WAIT_ABANDONED_0", "WAIT_TIMEOUT", "two handles"])
    def test_an_unexpected_wait_result_ends_the_cel_thread(
            self, combridge, bridge, cel_platform, monkeypatch, thread_errors, capsys, result):
        win32event = combridge.win32event
        value = win32event.WAIT_OBJECT_0 + 2 if result == "two handles" else \
            getattr(win32event, result)
        uninitialized = []
        monkeypatch.setattr(combridge.pythoncom, "CoUninitialize",
                            lambda: uninitialized.append(True))

        bridge.Init(combridge.CELSinkBase, None)
        cel_platform.inject_wait_result(bridge.thread, value)
        bridge.thread.join(timeout=5)
        assert not bridge.thread.is_alive()

        [(name, error)] = thread_errors
        assert name == "cel_threadfunc"
        assert type(error) is RuntimeError and error.args == ("unexpected win32wait return value",)
        assert uninitialized == []
        cel_lines = messages_of(parse_log(capsys.readouterr().out), bridge.thread.ident)
        assert cel_lines[-1] == "SinkInternal: CELStarted!"

        # Nothing is left to call into: CQGCEL's thread has gone.
        assert bridge.Shutdown() is None
        assert cel_platform.cel_calls() == ["Startup"]
