"""Shared fixtures of the COM bridge tests: a freshly imported module, the exceptions that
end threads, and the emulated platform's controls."""
import importlib
import sys
import threading

import pytest

from bridge_log import MODULE


@pytest.fixture
def combridge():
    sys.modules.pop(MODULE, None)
    module = importlib.import_module(MODULE)
    yield module
    sys.modules.pop(MODULE, None)


@pytest.fixture
def thread_errors(monkeypatch):
    """Exceptions that ended threads, as (thread name, exception) pairs."""
    seen = []
    monkeypatch.setattr(threading, "excepthook",
                        lambda args: seen.append((args.thread.name, args.exc_value)))
    return seen


class PlatformControls:
    """Steers the emulated CQGCEL and the CEL thread's message queue."""

    def __init__(self):
        import corvane_emulator
        self.emulator = corvane_emulator
        corvane_emulator.reset()

    def answer_startup_with_data_error(self, code=None, description=None):
        if code is None:
            self.emulator.load_scenario(startup="data_error_without_object",
                                        error_description="no object")
        else:
            self.emulator.load_scenario(startup="data_error", error_code=code,
                                        error_description=description)

    def leave_startup_unanswered(self):
        self.emulator.load_scenario(startup="never")

    def fail_creation(self):
        self.emulator.load_scenario(fail_creation=True)

    def post_quit(self, thread):
        self.emulator.post_quit(thread.ident)

    def inject_wait_result(self, thread, result):
        self.emulator.inject_wait_result(thread.ident, result)

    def configuration_log(self):
        return self.emulator.configuration_log()

    def cel_calls(self):
        return self.emulator.cel_calls()


@pytest.fixture
def cel_platform():
    controls = PlatformControls()
    yield controls
    controls.emulator.reset()
