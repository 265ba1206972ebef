"""Threads and polling shared by the emulator's tests."""
import threading
import time

import pythoncom
import win32com.client
import win32event


class OwnerThread:
    """A thread that makes a CQGCEL in its apartment, optionally subscribes a sink, hands the
    object over in a stream and pumps, as the bridge's CEL thread does, until stopped."""

    def __init__(self, sink_class=None, pump=True, leave_apartment=True):
        self.sink_class = sink_class
        self.pump = pump
        self.leave_apartment = leave_apartment
        self.shutdown_event = win32event.CreateEvent(None, 0, 0, None)
        self.ready = threading.Event()
        self.release = threading.Event()  # lets a non-pumping owner finish
        self.error = None
        self.sink = None
        # A daemon, so that a test failing while the thread is blocked does not hang the run.
        self.thread = threading.Thread(target=self._run, name="owner", daemon=True)

    def __enter__(self):
        self.thread.start()
        assert self.ready.wait(5), "owner thread did not get ready"
        if self.error is not None:
            raise self.error
        return self

    def __exit__(self, *exc):
        self.stop()

    @property
    def ident(self):
        return self.thread.ident

    def _run(self):
        pythoncom.CoInitialize()
        try:
            cel = win32com.client.Dispatch("CQG.CQGCEL.4")
            self.stream = pythoncom.CoMarshalInterThreadInterfaceInStream(
                pythoncom.IID_IDispatch, cel)
            if self.sink_class is not None:
                self.sink = win32com.client.WithEvents(cel, self.sink_class)
            self.ready.set()
            if self.pump:
                self._pump()
            else:
                self.release.wait(10)
            del cel
        except BaseException as error:  # reported to the test by __enter__ or stop
            self.error = error
            self.ready.set()
            return
        if self.leave_apartment:
            pythoncom.CoUninitialize()

    def _pump(self):
        while True:
            result = win32event.MsgWaitForMultipleObjects(
                (self.shutdown_event,), 0, win32event.INFINITE, win32event.QS_ALLEVENTS)
            if result == win32event.WAIT_OBJECT_0:
                return
            if result == win32event.WAIT_OBJECT_0 + 1:
                if pythoncom.PumpWaitingMessages():
                    return
            else:
                raise RuntimeError("unexpected win32wait return value")

    def proxy(self):
        iface = pythoncom.CoGetInterfaceAndReleaseStream(self.stream, pythoncom.IID_IDispatch)
        return win32com.client.Dispatch(iface)

    def stop(self):
        """Ends the thread; raises what ended it early, if anything did."""
        win32event.SetEvent(self.shutdown_event)
        self.release.set()
        self.thread.join(5)
        assert not self.thread.is_alive(), "owner thread did not end"
        if self.error is not None:
            raise self.error


def wait_until(condition, timeout=5.0):
    """Waits for another thread to make `condition` true; False if it never does."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.002)
    return True


def call_from_another_apartment(obj, action):
    """Runs `action(proxy)` on a new thread in an apartment of its own, with `proxy` a wrapper of
    `obj` marshaled there, while this thread (obj's owner) pumps; returns what the action
    returned or raised."""
    stream = pythoncom.CoMarshalInterThreadInterfaceInStream(pythoncom.IID_IDispatch, obj)
    outcome = []

    def run():
        pythoncom.CoInitialize()
        try:
            proxy = win32com.client.Dispatch(
                pythoncom.CoGetInterfaceAndReleaseStream(stream, pythoncom.IID_IDispatch))
            outcome.append(action(proxy))
        except BaseException as error:  # handed to the test
            outcome.append(error)
        finally:
            pythoncom.CoUninitialize()

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    while thread.is_alive():
        pythoncom.PumpWaitingMessages()
        thread.join(0.005)
    return outcome[0]


def outcomes_on_a_new_thread(*actions):
    """Runs the actions in order on a new thread; gives each one's outcome: "done", or the
    hresult of the com_error it raised."""
    outcomes = []

    def run():
        for action in actions:
            try:
                action()
                outcomes.append("done")
            except pythoncom.com_error as error:
                outcomes.append(error.hresult)

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    thread.join(10)
    assert not thread.is_alive(), "the thread did not end"
    return outcomes
