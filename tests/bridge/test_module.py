"""What loading the module does: the platform imports, the type-library check and fresh
classes on every load."""
import importlib
import sys
import threading

import pytest

from bridge_log import MODULE
from corvane.gateways.cqg.wrapper.type_library import CQGCEL_TYPE_LIBRARY

pytestmark = pytest.mark.timeout(10)


def test_binds_the_platform_modules(combridge):
    import pythoncom
    import win32com.client
    import win32event

    assert combridge.threading is threading
    assert combridge.Thread is threading.Thread
    assert combridge.win32event is win32event
    assert combridge.win32com.client is win32com.client
    assert combridge.constants is win32com.client.constants
    assert combridge.pythoncom is pythoncom
    assert combridge.sys is sys


def test_loading_ensures_the_cqgcel_type_library(monkeypatch):
    import win32com.client

    calls = []
    monkeypatch.setattr(win32com.client.gencache, "EnsureModule",
                        lambda *args: calls.append(args))
    monkeypatch.delitem(sys.modules, MODULE, raising=False)
    importlib.import_module(MODULE)
    assert calls == [CQGCEL_TYPE_LIBRARY]


def test_loading_fails_when_the_type_library_is_missing(monkeypatch):
    import win32com.client

    def missing(*args):
        raise OSError("type library not registered")

    monkeypatch.setattr(win32com.client.gencache, "EnsureModule", missing)
    monkeypatch.delitem(sys.modules, MODULE, raising=False)
    with pytest.raises(OSError, match="^type library not registered$"):
        importlib.import_module(MODULE)
    monkeypatch.delitem(sys.modules, MODULE, raising=False)


def test_a_reload_gives_fresh_classes(combridge):
    first = (combridge.CELSinkBase, combridge.SinkInternal, combridge.ComBridge)
    sys.modules.pop(MODULE)
    again = importlib.import_module(MODULE)
    assert again is not combridge
    for old, new in zip(first, (again.CELSinkBase, again.SinkInternal, again.ComBridge)):
        assert new is not old and new.__name__ == old.__name__
        assert new.__module__ == MODULE
    assert again.SinkInternal.__bases__ == (again.CELSinkBase,)


def test_an_unloaded_module_frees_its_classes():
    # The classes' methods hold the module's state from C++, where the collector cannot see
    # it: a class reachable from its own methods' state would never be freed.
    import gc
    import weakref

    sys.modules.pop(MODULE, None)
    module = importlib.import_module(MODULE)
    classes = [weakref.ref(module.CELSinkBase), weakref.ref(module.SinkInternal),
               weakref.ref(module.ComBridge)]
    sys.modules.pop(MODULE)
    delattr(sys.modules[MODULE.rpartition(".")[0]], "ComBridge")  # the package's binding
    del module
    for _ in range(3):  # each round frees what C++ held for the one before
        gc.collect()
    assert [cls() for cls in classes] == [None, None, None]
