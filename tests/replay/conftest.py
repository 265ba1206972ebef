"""Fixtures of the replay tests: a gateway over a fresh emulated world, and replay events made
from readable values."""
import contextlib
import io
import sys

import pytest

if sys.platform == "win32":
    pytest.skip("the emulated platform is installed only where pywin32 is not",
                allow_module_level=True)

import corvane_emulator as emu
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway

EP = Futures(code="EPZ26", security_name="E-mini S&P 500 Dec 26")
CL = Futures(code="CLEF27", security_name="Crude oil Jan 27")

MINUTE_NS = 60 * 10**9
T0 = 1_767_600_000 * 10**9  # a whole minute, where the replayed market starts


def quote(ms, kind, price, volume=1.0, valid=True, name="F.US.EPZ26"):
    return ("quote", T0 + ms * 10**6, name, kind, price, volume, valid)


def tick(ms, kind, price, volume=1.0, name="F.US.EPZ26"):
    return ("tick", T0 + ms * 10**6, name, kind, price, volume)


def bar(ms, minute, o, h, l, c, volume=10.0, ticks=5.0, name="F.US.EPZ26"):
    return ("bar", T0 + ms * 10**6, name, T0 + minute * MINUTE_NS, o, h, l, c, volume, ticks)


def settle(gateway):
    """Returns once everything posted so far has been handled: a call through the proxy is
    queued behind it on the bridge's thread."""
    gateway.comBridge.cqgCEL.Instruments


@pytest.fixture
def quiet():
    """The CQG side's progress lines are not the point here."""
    with contextlib.redirect_stdout(io.StringIO()):
        yield


@pytest.fixture
def gateway(quiet):
    emu.reset()
    emu.load_scenario(instruments=[
        {"full_name": "F.US.EPZ26", "price": 6000.0, "tick_size": 0.25},
        {"full_name": "F.US.CLEF27", "price": 70.0, "tick_size": 0.01}],
        accounts=[{"id": 1001, "name": "SIM-1001"}])
    gw = CqgGateway([EP, CL])
    yield gw
    emu.stop_live()
    gw.close()
    emu.reset()


def subscribed(gateway, *symbols, lookback=10):
    gateway.connect()
    link = gateway.gatelink
    link.Logon("trader", "secret")
    link.subscribe_account_and_positions(1001)
    for symbol in symbols:
        link.subscribe_quote(symbol)
        link.subscribe_orderbook(symbol)
        link.subscribe_bar(symbol, lookback, "1Min")
    return link
