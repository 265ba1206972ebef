"""CELSinkBase accepts every CQGCEL event and does nothing; SinkInternal watches start-up
and data errors for its bridge."""
import inspect
import pathlib
import subprocess
import sys
import threading
import types

import pytest

from bridge_log import MODULE

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import sink_stub  # noqa: E402

pytestmark = pytest.mark.timeout(10)

# Every CQGCEL event handler with its parameters, in declaration order: the table the sink
# base is built from, which the stub's section is written from too.
HANDLERS = sink_stub.read_events()


class TestCELSinkBase:
    def test_declares_every_handler_in_order_and_nothing_else(self, combridge):
        declared = [name for name in vars(combridge.CELSinkBase) if name.startswith("On")]
        assert declared == [name for name, _ in HANDLERS]
        assert len(declared) == 104

    def test_the_stub_declares_the_tables_handlers(self):
        # As tools/sink_stub.py writes it: run the tool after changing the table.
        stub = sink_stub.STUB.read_text()
        assert sink_stub.with_section(stub, HANDLERS) == stub
        assert "    def OnOrderChanged(self, changeType: Any, cqgOrder: Any, oldProperties: Any, " \
               "cqgFill: Any, cqgError: Any) -> None: ...\n" in stub

    def test_a_row_the_table_reader_cannot_read_is_refused(self, tmp_path):
        # A row read wrongly would drop a handler from the stub and the checks alike.
        for row in ['CEL_SINK_EVENT2("OnTicksAdded", "cqgTicks")',
                    'CEL_SINK_EVENT1("OnIsReady", readyStatus)',
                    'CEL_SINK_EVENT(OnIdle)']:
            table = tmp_path / "events.def"
            table.write_text('// a comment\nCEL_SINK_EVENT0("OnIdle")\n' + row + "\n")
            with pytest.raises(ValueError, match="events.def:3: not an event row"):
                sink_stub.read_events(table)

    def test_every_handler_accepts_its_arguments_by_position_and_name(self, combridge):
        sink = combridge.CELSinkBase()
        for name, params in HANDLERS:
            handler = getattr(sink, name)
            assert handler(*[object() for _ in params]) is None, name
            assert handler(**{param: None for param in params}) is None, name
        assert vars(sink) == {}

    def test_every_handler_reports_its_parameters(self, combridge):
        for name, params in HANDLERS:
            handler = getattr(combridge.CELSinkBase, name)
            assert list(inspect.signature(handler).parameters) == ["self", *params], name
            assert handler.__doc__ is None, name

    def test_a_wrong_argument_count_fails(self, combridge):
        sink = combridge.CELSinkBase()
        for name, params in HANDLERS:
            with pytest.raises(TypeError):
                getattr(sink, name)(*range(len(params) + 1))
            if params:
                with pytest.raises(TypeError):
                    getattr(sink, name)(*range(len(params) - 1))

    def test_a_python_subclass_overrides_one_handler_and_inherits_the_rest(self, combridge):
        class Watcher(combridge.CELSinkBase):
            def __init__(self):
                self.started = 0

            def OnCELStarted(self):
                self.started += 1

        watcher = Watcher()
        watcher.OnCELStarted()
        assert watcher.started == 1
        assert watcher.OnTicksAdded(None, 3) is None
        assert watcher.OnTonditionInserted(None, 0) is None

    def test_mixes_with_an_events_class_by_multiple_inheritance(self, combridge):
        class Events:
            def _connect(self):
                return "connected"

        mixed = type("Sink", (Events, combridge.CELSinkBase), {})()
        assert mixed._connect() == "connected"
        assert mixed.OnIdle() is None
        mixed.extra = 1  # instances keep a __dict__


class FakeError:
    Code = 5
    Description = "bad symbol"


@pytest.fixture
def bound_sink(combridge, capsys, monkeypatch):
    """A SinkInternal bound to a stand-in bridge, with its constructor's line read off."""
    # The error object is wrapped before it is read, as a bare dispatch interface would be.
    wrapped = []
    monkeypatch.setattr(combridge.win32com.client, "Dispatch",
                        lambda obj: wrapped.append(obj) or obj)
    bridge = types.SimpleNamespace(errorHappened=False)
    bridge.SetError = lambda: setattr(bridge, "errorHappened", True)
    started = threading.Event()
    sink = combridge.SinkInternal()
    assert capsys.readouterr().out == f"{threading.get_ident()}: Internal sink ctor\n"
    assert vars(sink) == {}
    assert sink.Init(started, bridge) is None
    assert sink.eventCELStarted is started and sink.comBridge is bridge
    assert capsys.readouterr().out == ""
    return types.SimpleNamespace(sink=sink, bridge=bridge, started=started, wrapped=wrapped)


class TestSinkInternal:
    def test_is_a_cel_sink_base(self, combridge):
        assert issubclass(combridge.SinkInternal, combridge.CELSinkBase)

    def test_cel_started_traces_and_releases_the_start_up_wait(self, bound_sink, capsys):
        assert bound_sink.sink.OnCELStarted() is None
        assert capsys.readouterr().out == \
            f"{threading.get_ident()}: SinkInternal: CELStarted!\n"
        assert bound_sink.started.is_set()
        assert bound_sink.bridge.errorHappened is False

    def test_data_error_with_an_error_object(self, bound_sink, capsys):
        error = FakeError()
        assert bound_sink.sink.OnDataError(error, "not this text") is None
        assert capsys.readouterr().out == (f"{threading.get_ident()}: SinkInternal: "
                                           "OnDataError: Code: 5 Description: bad symbol\n")
        assert bound_sink.wrapped == [error]
        assert bound_sink.bridge.errorHappened is True
        assert bound_sink.started.is_set()

    def test_data_error_without_an_error_object(self, bound_sink, capsys):
        assert bound_sink.sink.OnDataError(None, "some text") is None
        assert capsys.readouterr().out == ""
        assert bound_sink.wrapped == []
        assert bound_sink.bridge.errorHappened is True
        assert bound_sink.started.is_set()

    def test_unreadable_error_object_neither_flags_nor_releases(self, bound_sink):
        class Broken:
            @property
            def Code(self):
                raise OSError("gone")

        with pytest.raises(OSError, match="gone"):
            bound_sink.sink.OnDataError(Broken(), "")
        assert bound_sink.bridge.errorHappened is False
        assert not bound_sink.started.is_set()

    @pytest.mark.parametrize("unreadable", ["Code", "Description"])
    def test_a_failing_read_through_the_error_proxy_raises(self, unreadable):
        # In a child process: a read failing inside the trace's formatting would abort
        # the process instead of raising.
        script = f"""
import threading
import types
import pythoncom
import win32com.client
from {MODULE} import SinkInternal

win32com.client.Dispatch = lambda obj: obj  # the stand-in is read as it is

class DisconnectedError:
    Code = 5
    Description = "bad symbol"

    @property
    def {unreadable}(self):
        raise pythoncom.com_error(-2147417848, "disconnected", None, None)

error = DisconnectedError()
bridge = types.SimpleNamespace(SetError=lambda: print("flagged"))
started = threading.Event()
sink = SinkInternal()
sink.Init(started, bridge)
try:
    sink.OnDataError(error, "")
except pythoncom.com_error as failure:
    print("raised", failure.hresult, started.is_set())
"""
        run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                             timeout=30)
        assert run.returncode == 0, run.stderr
        # As when Code fails in-process: neither flagged nor released.
        assert "flagged" not in run.stdout
        assert run.stdout.splitlines()[-1] == "raised -2147417848 False"
