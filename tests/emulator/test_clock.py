"""The emulated clock: still until advanced in deterministic mode, moving by itself when live."""
import subprocess
import sys
import textwrap
import threading

import pytest

import corvane_emulator as emu
import pythoncom
import win32com.client

from emulator_helpers import wait_until

pytestmark = pytest.mark.timeout(20)


class Sink:
    def __init__(self):
        self.statuses = []

    def OnGWConnectionStatusChanged(self, newStatus):
        self.statuses.append(newStatus)


def test_scheduled_events_wait_for_the_clock(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, Sink)
    start = emu.clock_now()
    emu.schedule_event(5.0, "GWConnectionStatusChanged", 2)
    emu.schedule_event(1.0, "GWConnectionStatusChanged", 1)
    pythoncom.PumpWaitingMessages()
    assert sink.statuses == [] and emu.pending_actions() == 2
    emu.advance(4.0)
    pythoncom.PumpWaitingMessages()
    assert sink.statuses == [1]
    emu.advance(1.0)
    pythoncom.PumpWaitingMessages()
    assert sink.statuses == [1, 2]
    assert emu.clock_now() == start + 5.0


def test_the_clock_refuses_to_run_backwards_or_to_race():
    start = emu.clock_now()
    for seconds in (-1.0, float("nan")):
        with pytest.raises(ValueError):
            emu.advance(seconds)
    assert emu.clock_now() == start
    for speed, step in ((-1.0, 0.1), (1.0, 0.0)):
        with pytest.raises(ValueError):
            emu.start_live(speed=speed, step=step)
    assert not emu.is_live()


def test_live_mode_moves_the_clock_until_stopped(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, Sink)
    emu.schedule_event(30.0, "GWConnectionStatusChanged", 9)
    start = emu.clock_now()
    emu.start_live(speed=1000.0, step=0.01)
    assert emu.is_live()
    assert wait_until(lambda: emu.pending_actions() == 0)
    emu.stop_live()
    assert not emu.is_live() and emu.clock_now() >= start + 30.0
    pythoncom.PumpWaitingMessages()
    assert sink.statuses == [9]

    # Stopped, the clock is back to moving only when advanced.
    stopped_at = emu.clock_now()
    emu.schedule_event(1.0, "GWConnectionStatusChanged", 10)
    emu.advance(1.0)
    pythoncom.PumpWaitingMessages()
    assert sink.statuses == [9, 10] and emu.clock_now() == stopped_at + 1.0


def test_live_mode_stopped_from_several_threads_at_once():
    failures = []

    def stop(together):
        try:
            together.wait()
            emu.stop_live()
        except BaseException as error:  # reported by the test
            failures.append(error)

    for _ in range(100):
        emu.start_live(speed=1.0, step=0.001)
        together = threading.Barrier(3)
        stoppers = [threading.Thread(target=stop, args=(together,), daemon=True)
                    for _ in range(3)]
        for stopper in stoppers:
            stopper.start()
        for stopper in stoppers:
            stopper.join(5)
        assert not any(stopper.is_alive() for stopper in stoppers), "a stop_live never returned"
        assert failures == [] and not emu.is_live()


def test_a_cpp_failure_in_a_live_action_is_reported_and_the_clock_goes_on():
    script = textwrap.dedent("""
        import sys, time
        import corvane_emulator as emu
        reported = []
        sys.unraisablehook = lambda report: reported.append(str(report.exc_value))
        emu.schedule_failure(0.5, "engine broke")
        emu.schedule_failure(0.6, "engine broke again")
        emu.start_live(speed=100.0, step=0.01)
        deadline = time.monotonic() + 10
        while emu.pending_actions() and time.monotonic() < deadline:
            time.sleep(0.01)
        emu.stop_live()
        print(reported, emu.pending_actions())
    """)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         timeout=30)
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == "['engine broke', 'engine broke again'] 0"
