"""Start runs a sample between the bridge's start-up and shut-down and turns a failure
into one trace line."""
import threading

import pytest

from bridge_log import CALLER_HAND_OVER, CALLER_SHUTDOWN, messages_of, parse_log

pytestmark = pytest.mark.timeout(10)


def make_sample(combridge, start_error=None):
    class Sample(combridge.CELSinkBase):
        calls = []

        def Init(self, comBridge):
            Sample.calls.append(("Init", comBridge))

        def Start(self):
            Sample.calls.append(("Start", threading.get_ident()))
            if start_error is not None:
                raise start_error

    return Sample


def caller_lines(capsys):
    return messages_of(parse_log(capsys.readouterr().out), threading.get_ident())


def test_runs_the_sample_between_start_up_and_shut_down(combridge, cel_platform, capsys):
    Sample = make_sample(combridge)
    configured = []
    assert combridge.Start(Sample, configured.append) is None
    [(init, bridge), (start, ran_on)] = Sample.calls
    assert (init, start) == ("Init", "Start")
    assert isinstance(bridge, combridge.ComBridge)
    assert ran_on == threading.get_ident()
    assert len(configured) == 1
    assert not bridge.thread.is_alive()
    assert caller_lines(capsys) == CALLER_HAND_OVER[:5] + ["CQGCEL custom configuring..."] + \
        CALLER_HAND_OVER[5:] + CALLER_SHUTDOWN


def test_a_failing_sample_becomes_one_line_and_the_bridge_still_shuts_down(
        combridge, cel_platform, capsys):
    Sample = make_sample(combridge, ValueError("no such symbol"))
    assert combridge.Start(Sample) is None
    bridge = Sample.calls[0][1]
    assert not bridge.thread.is_alive()
    assert caller_lines(capsys) == CALLER_HAND_OVER + ["Exception: no such symbol"] + \
        CALLER_SHUTDOWN


def test_after_a_start_up_data_error_the_sample_is_not_run(combridge, cel_platform, capsys):
    cel_platform.answer_startup_with_data_error(5, "bad symbol")
    Sample = make_sample(combridge)
    assert combridge.Start(Sample) is None
    assert Sample.calls == []
    assert caller_lines(capsys) == CALLER_HAND_OVER + \
        ["Error happened during CQGCEL start up!"] + CALLER_SHUTDOWN


def test_an_interrupt_passes_through_after_the_shut_down(combridge, cel_platform, capsys):
    Sample = make_sample(combridge, KeyboardInterrupt())
    with pytest.raises(KeyboardInterrupt):
        combridge.Start(Sample)
    bridge = Sample.calls[0][1]
    assert not bridge.thread.is_alive()
    assert caller_lines(capsys)[-2:] == CALLER_SHUTDOWN
