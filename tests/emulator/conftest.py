import gc
import sys
import threading

import pytest

if sys.platform == "win32":
    pytest.skip("the emulated platform is installed only where pywin32 is not",
                allow_module_level=True)

import corvane_emulator as emu
import pythoncom
import win32com.client
from emulator_helpers import OwnerThread

from corvane.gateways.cqg.wrapper.type_library import CQGCEL_TYPE_LIBRARY


@pytest.fixture(autouse=True)
def fresh_world():
    win32com.client.gencache.EnsureModule(*CQGCEL_TYPE_LIBRARY)
    emu.reset()
    yield
    emu.stop_live()
    emu.reset()


@pytest.fixture
def late_bound():
    """Dispatch hands out the case-blind CDispatch, as where no generated class exists."""
    emu.load_scenario(dispatch="late-bound")


@pytest.fixture
def apartment(request):
    """The test's own thread inside an apartment for the length of the test. Importing pythoncom
    put this thread in one already; leaving it fully afterwards drops what the test left
    queued or connected here, and entering again restores the state the import made."""
    pythoncom.CoInitialize()
    yield threading.get_ident()
    # pytest keeps the test's fixture values (a CQGCEL, a sink) until the test is done: they
    # are let go of here, inside the apartment, with what the test left in reference cycles.
    for name in list(request.node.funcargs):
        if name != "apartment":
            request.node.funcargs[name] = None
    gc.collect()
    pythoncom.CoUninitialize()
    pythoncom.CoUninitialize()
    pythoncom.CoInitialize()


@pytest.fixture
def owner_thread():
    started = []

    def start(**kwargs):
        owner = OwnerThread(**kwargs).__enter__()
        started.append(owner)
        return owner

    yield start
    for owner in started:
        owner.stop()
