"""Fixtures of the gateway-link tests: a fresh module with short waits and a recorded
pause, stand-ins wrapped as themselves by Dispatch, and the progress lines written."""
import importlib
import sys

import pytest

from gatelink_fakes import CEL, MODULE, linked_over


class Clock:
    """Stands for the module's `time`: records pauses instead of sleeping."""

    def __init__(self):
        self.pauses = []

    def sleep(self, seconds):
        self.pauses.append(seconds)


@pytest.fixture
def gatelink():
    sys.modules.pop(MODULE, None)
    module = importlib.import_module(MODULE)
    module.TIMEOUT = 0.2  # every wait that must run out runs out quickly
    module.time = Clock()
    yield module
    sys.modules.pop(MODULE, None)


@pytest.fixture
def wrap_as_is(monkeypatch):
    import win32com.client
    monkeypatch.setattr(win32com.client, "Dispatch", lambda obj: obj)


@pytest.fixture
def trace(gatelink):
    """The progress lines written through the module's Trace, in order."""
    lines = []
    gatelink.Trace = lines.append
    return lines


@pytest.fixture
def linked(gatelink, wrap_as_is, trace):
    """A GATELINK bound to a gateway over a stand-in CQGCEL whose answers reach it."""
    yield from linked_over(gatelink, CEL())

@pytest.fixture
def market(gatelink, wrap_as_is, trace):
    """A GATELINK bound to a gateway over a stand-in of CQGCEL's market-data side."""
    from market_fakes import MarketCEL, MarketGateway
    cel = MarketCEL()
    gateway = MarketGateway(cel)
    link = gatelink.GATELINK()
    link.Init(gateway)
    return link, cel, gateway


@pytest.fixture
def frozen_now(gatelink):
    """The module's `datetime` answering now() with successive fixed times."""
    import datetime as dt

    class Clock(dt.datetime):
        ticks = 0

        @classmethod
        def now(cls, tz=None):
            cls.ticks += 1
            return dt.datetime(2026, 3, 2, 10, 0, cls.ticks)

    gatelink.datetime = Clock
    return Clock
