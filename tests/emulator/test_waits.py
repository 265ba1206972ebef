"""Kernel events and the waits of the message pump."""
import threading

import pytest

import corvane_emulator as emu
import pythoncom
import pywintypes
import win32event

from emulator_helpers import wait_until

pytestmark = pytest.mark.timeout(20)

NO_WAIT = 0


def test_auto_reset_event_releases_one_wait_manual_reset_stays_signalled():
    auto = win32event.CreateEvent(None, 0, 0, None)
    manual = win32event.CreateEvent(None, 1, 0, None)
    assert win32event.WaitForSingleObject(auto, NO_WAIT) == win32event.WAIT_TIMEOUT
    win32event.SetEvent(auto)
    win32event.SetEvent(manual)
    assert win32event.WaitForSingleObject(auto, NO_WAIT) == win32event.WAIT_OBJECT_0
    assert win32event.WaitForSingleObject(auto, NO_WAIT) == win32event.WAIT_TIMEOUT
    assert win32event.WaitForSingleObject(manual, NO_WAIT) == win32event.WAIT_OBJECT_0
    assert win32event.WaitForSingleObject(manual, NO_WAIT) == win32event.WAIT_OBJECT_0
    win32event.ResetEvent(manual)
    assert win32event.WaitForSingleObject(manual, NO_WAIT) == win32event.WAIT_TIMEOUT
    initially_set = win32event.CreateEvent(None, 0, 1, None)
    assert win32event.WaitForSingleObject(initially_set, NO_WAIT) == win32event.WAIT_OBJECT_0


def test_a_wait_for_all_takes_signals_only_once_every_handle_is_set():
    auto = win32event.CreateEvent(None, 0, 0, None)
    manual = win32event.CreateEvent(None, 1, 0, None)
    both = (auto, manual)
    win32event.SetEvent(auto)
    assert win32event.WaitForMultipleObjects(both, 1, NO_WAIT) == win32event.WAIT_TIMEOUT
    assert win32event.WaitForSingleObject(auto, NO_WAIT) == win32event.WAIT_OBJECT_0  # left set
    win32event.SetEvent(auto)
    win32event.SetEvent(manual)
    assert win32event.WaitForMultipleObjects(both, 1, NO_WAIT) == win32event.WAIT_OBJECT_0
    # The auto-reset event was taken by that wait, the manual-reset one stays signalled.
    assert win32event.WaitForMultipleObjects(both, 0, NO_WAIT) == win32event.WAIT_OBJECT_0 + 1
    with pytest.raises(pywintypes.error):
        win32event.WaitForMultipleObjects((), 0, NO_WAIT)


def test_named_events_are_shared_and_closed_handles_fail():
    first = win32event.CreateEvent(None, 1, 0, "corvane-test-event")
    second = win32event.CreateEvent(None, 1, 0, "corvane-test-event")
    win32event.SetEvent(first)
    assert win32event.WaitForSingleObject(second, NO_WAIT) == win32event.WAIT_OBJECT_0
    first.Close()
    with pytest.raises(pywintypes.error):
        win32event.SetEvent(first)


def test_msg_wait_reports_the_signalled_handle_queue_input_or_a_timeout(apartment):
    events = tuple(win32event.CreateEvent(None, 0, 0, None) for _ in range(3))

    def wait():
        return win32event.MsgWaitForMultipleObjects(events, 0, 10, win32event.QS_ALLEVENTS)

    assert wait() == win32event.WAIT_TIMEOUT
    win32event.SetEvent(events[2])
    win32event.SetEvent(events[1])
    assert wait() == win32event.WAIT_OBJECT_0 + 1  # the lowest signalled index wins
    assert wait() == win32event.WAIT_OBJECT_0 + 2
    emu.post_quit(apartment)
    assert wait() == win32event.WAIT_OBJECT_0 + 3  # input in this thread's queue
    assert pythoncom.PumpWaitingMessages() == 1
    assert wait() == win32event.WAIT_TIMEOUT

    # With no handle the wait is for messages alone.
    def wait_for_messages():
        return win32event.MsgWaitForMultipleObjects((), 0, 0, win32event.QS_ALLEVENTS)

    assert wait_for_messages() == win32event.WAIT_TIMEOUT
    emu.post_quit(apartment)
    assert wait_for_messages() == win32event.WAIT_OBJECT_0
    assert pythoncom.PumpWaitingMessages() == 1


def test_a_sleeping_msg_wait_wakes_for_another_thread():
    shutdown = win32event.CreateEvent(None, 0, 0, None)
    in_apartment = threading.Event()
    results = []

    def pump():
        pythoncom.CoInitialize()
        in_apartment.set()
        for _ in range(2):
            results.append(win32event.MsgWaitForMultipleObjects(
                (shutdown,), 0, win32event.INFINITE, win32event.QS_ALLEVENTS))
            results.append(pythoncom.PumpWaitingMessages())
        pythoncom.CoUninitialize()

    thread = threading.Thread(target=pump, daemon=True)
    thread.start()
    assert in_apartment.wait(5)
    emu.post_quit(thread.ident)
    assert wait_until(lambda: len(results) == 2)
    win32event.SetEvent(shutdown)
    thread.join(5)
    assert results == [win32event.WAIT_OBJECT_0 + 1, 1, win32event.WAIT_OBJECT_0, 0]


def test_quit_stops_the_pump_and_leaves_later_messages_waiting(apartment):
    emu.post_quit(apartment)
    emu.post_quit(apartment)
    assert pythoncom.PumpWaitingMessages() == 1
    assert emu.waiting_message_count(apartment) == 1
    assert pythoncom.PumpWaitingMessages() == 1
    assert pythoncom.PumpWaitingMessages() == 0

    # PumpMessages runs until a quit message and returns on it.
    emu.post_quit(apartment)
    pythoncom.PumpMessages()
    assert emu.waiting_message_count(apartment) == 0


def test_an_injected_wait_result_is_returned_once(apartment):
    event = win32event.CreateEvent(None, 0, 0, None)
    emu.inject_wait_result(apartment)
    assert win32event.MsgWaitForMultipleObjects(
        (event,), 0, win32event.INFINITE, win32event.QS_ALLEVENTS) == win32event.WAIT_ABANDONED_0
    assert win32event.MsgWaitForMultipleObjects(
        (event,), 0, 0, win32event.QS_ALLEVENTS) == win32event.WAIT_TIMEOUT
    emu.inject_wait_result(apartment, win32event.WAIT_FAILED)
    with pytest.raises(pywintypes.error):
        win32event.MsgWaitForMultipleObjects((event,), 0, 0, win32event.QS_ALLEVENTS)


def test_control_calls_on_an_ended_thread_fail():
    thread = threading.Thread(target=lambda: (pythoncom.CoInitialize(), pythoncom.CoUninitialize()))
    thread.start()
    thread.join()

    def fails(control):
        try:
            control(thread.ident)
        except pywintypes.error:
            return True
        return False

    # join() returns a moment before the thread itself has fully ended.
    assert wait_until(lambda: fails(emu.post_quit))
    assert fails(emu.inject_wait_result) and fails(emu.waiting_message_count)
