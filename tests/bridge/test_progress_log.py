"""Trace writes one flushed line per message; AssertMessage raises on a false condition."""
import sys
import threading
import time
import types

import pytest

pytestmark = pytest.mark.timeout(10)


class RecordingStdout:
    def __init__(self):
        self.calls = []

    def write(self, text):
        self.calls.append(("write", text))
        return len(text)

    def flush(self):
        self.calls.append(("flush",))


def test_trace_line_is_ident_colon_message(combridge, monkeypatch, capsys):
    monkeypatch.setattr(threading, "current_thread", lambda: types.SimpleNamespace(ident=42))
    combridge.Trace("x")
    assert capsys.readouterr().out == "42: x\n"


def test_trace_uses_the_writing_threads_ident(combridge, capsys):
    idents = []

    def write():
        idents.append(threading.get_ident())
        combridge.Trace("from a worker")

    worker = threading.Thread(target=write)
    worker.start()
    worker.join()
    combridge.Trace("from the caller")
    assert capsys.readouterr().out.splitlines() == [
        f"{idents[0]}: from a worker", f"{threading.get_ident()}: from the caller"]


def test_trace_flushes_after_the_line(combridge, monkeypatch):
    out = RecordingStdout()
    monkeypatch.setattr(sys, "stdout", out)
    combridge.Trace("progress")
    assert out.calls[-1] == ("flush",)
    assert "".join(call[1] for call in out.calls if call[0] == "write") == \
        f"{threading.get_ident()}: progress\n"


def test_trace_goes_through_the_hosts_print(combridge, monkeypatch):
    printed = []
    monkeypatch.setattr("builtins.print", lambda *args, **kwargs: printed.append(
        "".join(args) + kwargs.get("end", "\n")))
    combridge.Trace("via print")
    assert printed == [f"{threading.get_ident()}: via print\n"]


class SlowStdout(RecordingStdout):
    """A terminal that gives the other threads their turn inside every write."""

    def write(self, text):
        time.sleep(0.0005)
        return super().write(text)


def test_lines_of_concurrent_threads_stay_whole(combridge, monkeypatch):
    out = SlowStdout()
    monkeypatch.setattr(sys, "stdout", out)

    def write(tag):
        for n in range(20):
            combridge.Trace(f"{tag} line {n}")

    writers = [threading.Thread(target=write, args=(tag,)) for tag in "abcd"]
    for writer in writers:
        writer.start()
    for writer in writers:
        writer.join()
    lines = "".join(call[1] for call in out.calls if call[0] == "write").splitlines()
    assert len(lines) == 80
    for line in lines:
        ident, sep, message = line.partition(": ")
        assert ident.isdigit() and message[0] in "abcd" and ": " not in message, line


def test_trace_refuses_a_message_that_is_not_text(combridge, capsys):
    with pytest.raises(TypeError, match="Argument 'message' has incorrect type"):
        combridge.Trace(5)
    assert capsys.readouterr().out == ""


@pytest.mark.parametrize("condition", [True, 1, "yes", [0]])
def test_assert_message_passes_on_a_true_condition(combridge, condition, capsys):
    assert combridge.AssertMessage(condition, "never shown") is None
    assert capsys.readouterr().out == ""


@pytest.mark.parametrize("condition", [False, 0, None, "", []])
def test_assert_message_raises_the_message_unchanged(combridge, condition, capsys):
    with pytest.raises(RuntimeError) as raised:
        combridge.AssertMessage(condition, "Order placing timeout!\nsome order")
    assert raised.value.args == ("Order placing timeout!\nsome order",)
    assert capsys.readouterr().out == ""


def test_assert_message_lets_a_failing_truth_test_raise(combridge):
    class Undecidable:
        def __bool__(self):
            raise ValueError("no truth")

    with pytest.raises(ValueError, match="no truth"):
        combridge.AssertMessage(Undecidable(), "m")
