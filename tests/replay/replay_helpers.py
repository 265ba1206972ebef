"""What the replay tests share: the followed futures, replay events made from readable values,
waiting for the bridge, and a gateway subscribed to everything."""
import corvane_emulator as emu
from corvane.core.security import Futures

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
