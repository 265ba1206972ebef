"""Orders through CQGCEL as a gateway meets them: created, placed, matched against the
emulated market, cancelled, and the reports and position changes that follow."""
import datetime

import pytest

import corvane_emulator as emu
import pythoncom
import win32com.client
from win32com.client import constants as c

pytestmark = pytest.mark.timeout(20)

EP = "F.US.EPZ26"


def wrap(obj):
    return None if obj is None else win32com.client.Dispatch(obj)


def status_name(value):
    return next(name for name in dir(c) if name.startswith("os") and not name.startswith("osd")
                and getattr(c, name) == value) if value in range(1, 18) else value


class OrderSink:
    """Notes each order report as (change, status, filled, fill) and each position event."""

    def __init__(self):
        self.seen = []
        self.instrument = None
        self.inside_place = None

    def OnInstrumentResolved(self, symbol, cqgInstrument, cqgError):
        self.instrument = wrap(cqgInstrument)
        self.instrument.DataSubscriptionLevel = c.dsQuotesAndBBA

    def OnOrderChanged(self, changeType, cqgOrder, oldProperties, cqgFill, cqgError):
        properties = wrap(wrap(cqgOrder).Properties)
        fill = wrap(cqgFill)
        carried = None if fill is None else (fill.Price, fill.Quantity, fill.Status)
        self.seen.append(("order", changeType, status_name(properties(c.opGWStatus).Value),
                          properties(c.opFilledQuantity).Value, carried))
        self.last_properties = properties
        self.last_fill = fill

    def OnAccountChanged(self, change, cqgAccount, cqgPosition):
        position = wrap(cqgPosition)
        self.seen.append(("position", change, position.Quantity, position.AveragePrice))


@pytest.fixture
def cel(apartment):
    return win32com.client.Dispatch("CQG.CQGCEL.4")


@pytest.fixture
def sink(cel):
    sink = win32com.client.WithEvents(cel, OrderSink)
    cel.NewInstrument("EPZ26")
    pythoncom.PumpWaitingMessages()
    return sink


def account(cel, number=0):
    return list(cel.Accounts)[number]


def place(cel, sink, kind, quantity, side, *prices, acct=True):
    order = wrap(cel.CreateOrder(kind, sink.instrument, account(cel) if acct else None,
                                 quantity, side, *prices))
    order.Manual = 0
    order.Place()
    return order


def reports(sink):
    pythoncom.PumpWaitingMessages()
    seen, sink.seen = sink.seen, []
    return seen


ADDED = ("order", 0, "osInTransit", 0, None)
IN_BOOK = ("order", 1, "osInOrderBook", 0, None)


class TestPlacing:
    def test_market_order_is_added_confirmed_filled_and_moves_the_position(self, cel, sink):
        emu.set_market("EPZ26", 6000.0, 6000.5)
        order = place(cel, sink, c.otMarket, 2, c.osdBuy)
        assert reports(sink) == [ADDED, IN_BOOK, ("order", 1, "osFilled", 2, (6000.5, 2, c.fsNormal)),
                                 ("position", c.actPositionAdded, 2, 6000.5)]
        fill = sink.last_fill
        assert fill.Order.GUID == order.GUID and fill.Id == emu.fills()[0]["id"]
        for stamp in (fill.Timestamp, sink.last_properties(c.opEventServerTimestamp).Value):
            assert stamp.tzinfo is not None and stamp.utcoffset() == datetime.timedelta(0)
            assert stamp.microsecond == 125000  # the gateway's time, to the millisecond
        assert sink.last_properties(c.opAverageFillPrice).Value == 6000.5
        summary = account(cel).Summary
        assert summary.UPL(0) == pytest.approx(-0.5)  # two lots a quarter point under the mid
        assert summary.NLV(0) == pytest.approx(summary.Balance(0) - 0.5)

    def test_limit_order_rests_then_fills_in_parts(self, cel, sink):
        emu.set_market("EPZ26", 6000.0, 6000.5)
        place(cel, sink, c.otLimit, 3, c.osdSell, 6002.0)
        assert reports(sink) == [ADDED, IN_BOOK]
        emu.set_market("EPZ26", 6001.75, 6002.25)
        assert reports(sink) == []
        emu.set_market("EPZ26", 6002.0, 6002.5, size=2)
        assert reports(sink) == [("order", 1, "osInOrderBook", 2, (6002.0, 2, c.fsNormal)),
                                 ("position", c.actPositionAdded, -2, 6002.0)]
        emu.set_market("EPZ26", 6003.0, 6003.5, size=2)
        assert reports(sink) == [("order", 1, "osFilled", 3, (6003.0, 1, c.fsNormal)),
                                 ("position", c.actPositionChanged, -3, pytest.approx(6002 + 1 / 3))]
        assert sink.last_properties(c.opAverageFillPrice).Value == pytest.approx(6002 + 1 / 3)
        # Each event showed the order as it was then; the book holds it as it is now.
        assert [o["status"] for o in emu.orders()] == ["osFilled"]

    def test_stop_order_triggers_then_fills_within_its_limit(self, cel, sink):
        emu.set_market("EPZ26", 6000.0, 6000.5)
        place(cel, sink, c.otStop, 1, c.osdBuy, 6005.0, 6004.0)
        assert reports(sink) == [ADDED, IN_BOOK]
        emu.set_market("EPZ26", 6006.0, 6006.5)  # the stop is reached, the limit is not
        assert reports(sink) == []
        emu.set_market("EPZ26", 6004.5, 6004.75)
        assert reports(sink)[0] == ("order", 1, "osFilled", 1, (6004.75, 1, c.fsNormal))

    def test_orders_collection_and_properties(self, cel, sink):
        first = place(cel, sink, c.otLimit, 1, c.osdBuy, 5000.0)
        second = place(cel, sink, c.otMarket, 1, c.osdSell)
        orders = cel.Orders
        assert orders.Count == 2 and [o.GUID for o in orders] == [first.GUID, second.GUID]
        assert orders.ItemByGuid(first.GUID) == first  # the object CreateOrder made
        properties = orders.ItemByGuid(second.GUID).Properties
        assert properties(c.opGUID).Value == second.GUID
        assert properties(c.opGWStatus).Value == c.osFilled
        with pytest.raises(pythoncom.com_error) as missing:
            orders.ItemByGuid("{nothing}")
        assert missing.value.hresult == -2147352565  # DISP_E_BADINDEX
        with pytest.raises(TypeError):
            {first}  # wrappers are unhashable

    def test_order_without_account_is_rejected(self, cel, sink):
        place(cel, sink, c.otMarket, 1, c.osdBuy, acct=False)
        assert reports(sink) == [ADDED, ("order", 1, "osRejectGW", 0, None)]
        assert emu.fills() == []


class TestArgumentChecks:
    def test_counts_types_and_values_are_refused_as_the_server_refuses_them(self, cel, sink):
        def refused(*args):
            with pytest.raises(pythoncom.com_error) as error:
                cel.CreateOrder(*args)
            return error.value.hresult

        acct = account(cel)
        assert refused(c.otMarket, sink.instrument, acct, 1) == -2147352561  # no OrderSide
        with pytest.raises(TypeError, match=r"takes from 6 to 8 positional arguments but 9"):
            cel.CreateOrder(c.otStop, sink.instrument, acct, 1, c.osdBuy, 1.0, 2.0, 3.0)
        assert refused(c.otMarket, acct, acct, 1, c.osdBuy) == -2147352571  # not an instrument
        assert refused(c.otMarket, sink.instrument, acct, "1", c.osdBuy) == -2147352571
        for bad in [(c.otMarket, sink.instrument, acct, 0, c.osdBuy),
                    (c.otMarket, sink.instrument, acct, 1.5, c.osdBuy),
                    (c.otLimit, sink.instrument, acct, 1, c.osdBuy),
                    (c.otStop, sink.instrument, acct, 1, c.osdBuy, 10.0),
                    (c.otMarket, sink.instrument, acct, 1, 99),
                    (c.otStopLimit, sink.instrument, acct, 1, c.osdBuy, 1.0, 1.0),
                    (c.otLimit, sink.instrument, acct, 1, c.osdBuy, float("nan"))]:
            assert refused(*bad) == -2147352567, bad
        assert emu.orders() == []

    def test_an_order_is_placed_once(self, cel, sink):
        order = place(cel, sink, c.otLimit, 1, c.osdBuy, 5000.0)
        with pytest.raises(pythoncom.com_error):
            order.Place()
        with pytest.raises(pythoncom.com_error):
            order.Manual = 1
        assert len(emu.orders()) == 1


class TestCancel:
    def test_resting_order_is_cancelled_and_a_finished_one_is_left_alone(self, cel, sink):
        emu.set_market("EPZ26", 6000.0, 6000.5)
        resting = place(cel, sink, c.otLimit, 1, c.osdBuy, 5990.0)
        filled = place(cel, sink, c.otMarket, 1, c.osdBuy)
        reports(sink)
        cel.Orders.ItemByGuid(resting.GUID).Cancel()
        assert reports(sink) == [("order", 1, "osInCancel", 0, None),
                                 ("order", 1, "osCanceled", 0, None)]
        resting.Cancel()
        filled.Cancel()
        assert reports(sink) == []
        emu.set_market("EPZ26", 5980.0, 5980.5)
        assert reports(sink) == []


class TestFaultsAndOutsideOrders:
    def test_rejected_and_dropped_orders(self, cel, sink):
        emu.reject_next_order()
        place(cel, sink, c.otMarket, 1, c.osdBuy)
        assert reports(sink) == [ADDED, ("order", 1, "osRejectGW", 0, None)]
        emu.drop_next_order()
        place(cel, sink, c.otMarket, 1, c.osdBuy)
        assert reports(sink) == []
        assert [o["status"] for o in emu.orders()] == ["osRejectGW", "osInTransit"]
        place(cel, sink, c.otLimit, 1, c.osdBuy, 1000.0)  # the faults were used up
        assert reports(sink) == [ADDED, IN_BOOK]

    def test_duplicated_fill_and_odd_statuses(self, cel, sink):
        emu.set_market("EPZ26", 6000.0, 6000.5)
        emu.duplicate_next_fill()
        emu.next_fill_status("fsBusted")
        place(cel, sink, c.otMarket, 1, c.osdBuy)
        filled = ("order", 1, "osFilled", 1, (6000.5, 1, c.fsBusted))
        assert reports(sink) == [ADDED, IN_BOOK, filled, filled,
                                 ("position", c.actPositionAdded, 1, 6000.5)]
        assert len(emu.fills()) == 1
        emu.next_status(99)
        place(cel, sink, c.otLimit, 1, c.osdBuy, 1000.0)
        assert reports(sink) == [("order", 0, 99, 0, None), IN_BOOK]
        with pytest.raises(ValueError):
            emu.next_fill_status("osFilled")  # not a fill status

    def test_manual_order_arrives_as_added(self, cel, sink):
        emu.set_market("EPZ26", 6000.0, 6000.5)
        guid = emu.manual_order(1002, "EPZ26", "sell", 4, "limit", 6001.0)
        assert reports(sink) == [ADDED, IN_BOOK]
        assert cel.Orders.ItemByGuid(guid).Manual is True
        assert emu.orders()[0]["manual"] is True
        with pytest.raises(ValueError):
            emu.manual_order(77, "EPZ26", "buy", 1)
        with pytest.raises(ValueError):
            emu.manual_order(1001, "EPZ26", "buy", 1, "limit")


def test_nested_delivery_reports_inside_place(apartment):
    emu.load_scenario(event_delivery="nested")
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, OrderSink)
    cel.NewInstrument("EPZ26")
    order = wrap(cel.CreateOrder(c.otMarket, sink.instrument, account(cel), 1, c.osdBuy))
    order.Place()
    # No pump ran: every report came inside Place().
    assert [entry[:3] for entry in sink.seen[:3]] == [
        ("order", 0, "osInTransit"), ("order", 1, "osInOrderBook"), ("order", 1, "osFilled")]


def test_live_market_fills_resting_orders(cel, sink):
    place(cel, sink, c.otLimit, 1, c.osdBuy, 6100.0)  # above the market: fills at once
    place(cel, sink, c.otLimit, 1, c.osdSell, 100000.0)  # never reached
    emu.start_market(200.0, live=False)
    for _ in range(20):
        emu.advance(0.05)
    pythoncom.PumpWaitingMessages()
    assert [o["status"] for o in emu.orders()] == ["osFilled", "osInOrderBook"]
