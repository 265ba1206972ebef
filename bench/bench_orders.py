"""place_order round trips per second through the bridge (place -> GUID returned), against
the emulator's own placement cost measured in the same run.

The bridge figure runs GATELINK.place_order from the framework's thread: CreateOrder, Manual
and Place() cross to the CEL thread through the marshaled proxy, and the GUID comes back from
the OrderChanged handler. The floor is CreateOrder + Place() on a CQGCEL in this thread's own
apartment, with the reports pumped to a sink that only counts them. Prints both rates and the
bridge's share of the floor (1.0 would mean the bridge costs nothing).

    .venv/bin/python bench/bench_orders.py [orders]
"""
import contextlib
import io
import sys
import time

import corvane_emulator as emulator
import pythoncom
import win32com.client
from corvane.core.constants import Direction, OrderType
from corvane.core.order import Order
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway
from corvane.gateways.cqg.wrapper.type_library import CQGCEL_TYPE_LIBRARY
from report_rows import report_row

ORDERS = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
EP = Futures(code="EPZ26", security_name="E-mini S&P 500 Dec 26")


def limit_order(n):
    # Resting buys far under the market: nothing fills, so only placement is measured.
    return Order(EP, OrderType.LIMIT, Direction.LONG, 1, price=5000.0 - (n % 100) * 0.25)


def through_bridge():
    emulator.reset()
    from corvane.gateways.cqg.wrapper import gatelink
    gatelink.time = type("NoPause", (), {"sleep": staticmethod(lambda seconds: None)})
    with contextlib.redirect_stdout(io.StringIO()), CqgGateway([EP]) as gateway:
        link = gateway.gatelink
        link.subscribe_account_and_positions(1001)
        link.subscribe_quote("EPZ26")
        for n in range(50):  # warm up
            gateway.place_order(limit_order(n))
        start = time.perf_counter()
        for n in range(ORDERS):
            gateway.place_order(limit_order(n))
        return ORDERS / (time.perf_counter() - start)


class CountingSink:
    reports = 0
    instrument = None

    def OnInstrumentResolved(self, symbol, cqgInstrument, cqgError):
        CountingSink.instrument = win32com.client.Dispatch(cqgInstrument)

    def OnOrderChanged(self, changeType, cqgOrder, oldProperties, cqgFill, cqgError):
        CountingSink.reports += 1


def bare_emulator():
    emulator.reset()
    constants = win32com.client.constants
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    win32com.client.WithEvents(cel, CountingSink)
    cel.NewInstrument("EPZ26")
    pythoncom.PumpWaitingMessages()
    account = next(iter(cel.Accounts))

    def place(n):
        order = win32com.client.Dispatch(cel.CreateOrder(
            constants.otLimit, CountingSink.instrument, account, 1, constants.osdBuy,
            5000.0 - (n % 100) * 0.25))
        order.Manual = 0
        order.Place()
        pythoncom.PumpWaitingMessages()

    for n in range(50):
        place(n)
    start = time.perf_counter()
    for n in range(ORDERS):
        place(n)
    return ORDERS / (time.perf_counter() - start)


def main():
    win32com.client.gencache.EnsureModule(*CQGCEL_TYPE_LIBRARY)
    floor = bare_emulator()
    bridged = through_bridge()
    emulator.reset()
    print(f"bare emulator placement:      {floor:10.0f} orders/s")
    print(f"place_order through bridge:   {bridged:10.0f} orders/s")
    print(f"ratio bridge / bare emulator: {bridged / floor:10.3f}")
    report_row("place_order through the bridge, place to GUID", f"{bridged:,.0f} orders/s",
               f"bare emulator placement {floor:,.0f} orders/s", bridged / floor)


if __name__ == "__main__":
    main()
