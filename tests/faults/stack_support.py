"""What the fault tests share besides fixtures: waiting until the bridge's thread has handled
every event raised so far, and the order helpers."""
from win32com.client import constants

from corvane.core.constants import Direction, OrderType
from corvane.core.security import Futures

EP = Futures(code="EPZ26", security_name="E-mini S&P 500 Dec 26")
ACCOUNT = 1001


def settle(engine):
    """Returns once every event raised so far has been handled, then lets the engine take
    what was handed over: a reload of the accounts is asked for, and its answer comes after
    the events before it."""
    link = engine.gateway.gatelink
    link.eventAccountIsReady.clear()
    cel = engine.gateway.comBridge.cqgCEL
    cel.AccountSubscriptionLevel = constants.aslNone
    cel.AccountSubscriptionLevel = constants.aslAccountUpdatesAndOrders
    assert link.eventAccountIsReady.wait(10)
    engine.step()


def buy(engine, security, quantity=1):
    return engine.send_order(security, Direction.LONG, quantity, OrderType.MARKET)
