"""Placing and cancelling orders, and order changes turned into updates and deals, with the
requests and handlers called directly over stand-ins shaped like pywin32's wrappers."""
import dataclasses
import re
from datetime import datetime

import pytest
from win32com.client import constants

from corvane.core.constants import Direction, OrderType
from corvane.core.order import Order

from gatelink_fakes import Gateway, Wrapper, linked_over
from order_fakes import Fill, OrderCEL

INSTRUMENT = Wrapper()


class OrderGateway(Gateway):
    """Records what GATELINK pushes, in order; `failing_deals` deals raise first."""

    def __init__(self, cel):
        super().__init__(cel)
        self.received, self.failing_deals = [], 0

    def get_cqg_symbol_from_cv_security(self, security):
        return security

    def process_order(self, update):
        self.received.append(("order", update))

    def process_deal(self, deal):
        if self.failing_deals:
            self.failing_deals -= 1
            raise RuntimeError("store unavailable")
        self.received.append(("deal", deal))

    def kinds(self):
        return [kind for kind, _ in self.received]


@pytest.fixture
def placing(gatelink, wrap_as_is, trace):
    for link, cel, gateway in linked_over(gatelink, OrderCEL(), OrderGateway):
        link.GWAccountID = 1001
        # Stands for the instrument look-up of subscribed symbols.
        link.get_instrument_from_cqg_symbol = (
            lambda symbol: INSTRUMENT if symbol == "EPZ26" else None)
        yield link, cel, gateway


def order(order_type=OrderType.MARKET, direction=Direction.SHORT):
    return Order("EPZ26", order_type, direction, 3, price=5000.25, stop_price=4999.0)


def report(link, cqg_order, status, change=None, fill=None, error=None):
    cqg_order.status = status
    change = constants.ctChanged if change is None else change
    link.OnOrderChanged(change, cqg_order, None, fill, error)


class TestPlaceOrder:
    @pytest.mark.parametrize("order_type, cqg_type, prices", [
        (OrderType.MARKET, "otMarket", ()),
        (OrderType.LIMIT, "otLimit", (5000.25,)),
        (OrderType.STOP, "otStop", (5000.25, 4999.0))])
    def test_created_placed_and_confirmed(self, placing, order_type, cqg_type, prices):
        link, cel, _ = placing
        assert link.place_order(order(order_type)) == "GUID-1"
        assert link.order_id is None and link.eventOrderPlaced.is_set()
        assert cel.calls == [
            ("CreateOrder", getattr(constants, cqg_type), INSTRUMENT, cel.accounts[0], 3,
             constants.osdSell) + prices,
            ("Place", "GUID-1", 0)]

    def test_an_order_added_inside_place_hands_its_guid_over(self, placing):
        link, cel, _ = placing
        cel.answer = "nested"
        assert link.place_order(order(direction=Direction.LONG)) == "GUID-1"
        assert cel.calls[0][5] == constants.osdBuy
        assert link.place_order(order()) == "GUID-2"  # each Place() is preceded by a clear

    @pytest.mark.parametrize("change, message", [
        (dict(security="ZZZ99"), "cqg_symbol ZZZ99 has not been subscribed."),
        (dict(order_type="ICEBERG"), "Unsupported order type ICEBERG"),
        (dict(direction=Direction.NET), "Unsupported order side Direction.NET")])
    def test_refused_before_anything_reaches_cqg(self, placing, change, message):
        link, cel, _ = placing
        with pytest.raises(ValueError, match=f"^{re.escape(message)}$"):
            link.place_order(dataclasses.replace(order(), **change))
        assert cel.calls == []

    def test_an_unknown_account_reaches_cqg_as_none(self, placing):
        link, cel, _ = placing
        link.GWAccountID = 4242
        link.place_order(order())
        assert cel.calls[0][3] is None

    def test_unconfirmed_times_out_and_a_late_confirmation_still_counts(self, placing):
        link, cel, _ = placing
        cel.answer = "never"
        first = order()
        with pytest.raises(RuntimeError) as raised:
            link.place_order(first)
        assert str(raised.value) == f"Order placing timeout!\n{first} "
        assert not link.eventOrderPlaced.is_set()
        link.OnOrderChanged(constants.ctAdded, cel.orders[0], None, None, None)
        assert link.order_id == "GUID-1" and link.eventOrderPlaced.is_set()
        cel.answer = "thread"
        assert link.place_order(order()) == "GUID-2"

    def test_confirmed_without_an_id(self, placing):
        link, cel, _ = placing
        cel.on_place = lambda placed: link.eventOrderPlaced.set()
        placed = order()
        with pytest.raises(ValueError) as raised:
            link.place_order(placed)
        assert str(raised.value) == f"Order id can not be obtained!\n{placed}"


class TestOrderChanged:
    def test_a_fill_gives_the_update_then_the_deal(self, gatelink, placing):
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        placed.avg_price, placed.filled = 5000.5, 3
        report(link, placed, constants.osFilled, fill=Fill(placed, "F-1", 5000.5, 3))
        (kind, update), (next_kind, deal) = gateway.received
        assert (kind, next_kind) == ("order", "deal")
        assert list(update.items()) == [
            ("order_id", "GUID-1"), ("updated_time", datetime(2026, 3, 4, 15, 30, 7)),
            ("filled_avg_price", 5000.5), ("filled_quantity", 3),
            ("status", gatelink.OrderStatus.FILLED)]
        assert list(deal.items()) == [
            ("deal_id", "F-1"), ("order_id", "GUID-1"),
            ("updated_time", datetime(2026, 3, 4, 15, 30, 9)), ("filled_avg_price", 5000.5),
            ("filled_quantity", 3)]
        # Whole seconds, plain naive datetimes: no time zone, not the platform's own type.
        for stamp in (update["updated_time"], deal["updated_time"]):
            assert type(stamp) is datetime and stamp.tzinfo is None

    def test_only_normal_fills_become_deals(self, placing):
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        report(link, placed, constants.osInOrderBook,
               fill=Fill(placed, "F-1", 1.0, 1, status=constants.fsBusted))
        assert gateway.kinds() == ["order"]

    def test_rejected_and_removed_orders_are_updates(self, gatelink, placing):
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        report(link, placed, constants.osRejectGW)
        report(link, placed, constants.osCanceled, change=constants.ctRemoved)
        assert [u["status"] for _, u in gateway.received] == [
            gatelink.OrderStatus.FAILED, gatelink.OrderStatus.CANCELLED]

    def test_an_order_added_from_outside_is_only_printed(self, placing, capsys):
        link, cel, gateway = placing
        link.eventOrderPlaced.set()
        link.order_id = "MINE"
        outside = cel.CreateOrder()
        report(link, outside, constants.osFilled, change=constants.ctAdded,
               fill=Fill(outside, "F-9", 1.0, 1))
        assert capsys.readouterr().out == "orderid GUID-1 is not placed by algo\n"
        assert gateway.received == [] and link.order_id == "MINE"

    def test_an_added_order_with_a_fill_is_handed_over_and_its_deal_forwarded(self, placing):
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        report(link, placed, constants.osFilled, change=constants.ctAdded,
               fill=Fill(placed, "F-1", 1.0, 1))
        assert link.order_id == "GUID-1" and link.eventOrderPlaced.is_set()
        assert gateway.kinds() == ["deal"]

    def test_an_event_with_an_error_is_ignored(self, placing, capsys):
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        report(link, placed, constants.osFilled, change=constants.ctAdded,
               fill=Fill(placed, "F-1", 1.0, 1), error=Wrapper())
        assert gateway.received == [] and link.order_id is None
        assert not link.eventOrderPlaced.is_set() and capsys.readouterr().out == ""

    def test_an_unknown_status_raises_once_the_order_and_its_fill_are_safe(self, placing):
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        message = "^Order status -5 is not valid to be handled by corvane.$"
        with pytest.raises(ValueError, match=message):
            report(link, placed, -5, change=constants.ctAdded)
        assert link.order_id == "GUID-1"  # a waiting place_order still learns of the order
        with pytest.raises(ValueError, match=message):
            report(link, placed, -5, fill=Fill(placed, "F-1", 2.0, 1))
        assert gateway.kinds() == ["deal"]

    def test_a_fill_reported_twice_is_one_deal_unless_first_refused(self, placing):
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        first, second = Fill(placed, "F-1", 1.0, 1), Fill(placed, "F-2", 1.0, 2)
        gateway.failing_deals = 1
        with pytest.raises(RuntimeError, match="store unavailable"):
            report(link, placed, constants.osInOrderBook, fill=first)
        report(link, placed, constants.osInOrderBook, fill=first)
        report(link, placed, constants.osInOrderBook, fill=first)
        report(link, placed, constants.osFilled, fill=second)
        assert [r["deal_id"] for kind, r in gateway.received if kind == "deal"] == ["F-1", "F-2"]
        assert gateway.kinds().count("order") == 4


STATUS_TABLE = [
    ("osActiveAt", "UNKNOWN"), ("osContingent", "UNKNOWN"), ("osInCancel", "UNKNOWN"),
    ("osInClient", "UNKNOWN"), ("osInModify", "UNKNOWN"), ("osInTransit", "UNKNOWN"),
    ("osNotSent", "UNKNOWN"), ("osParked", "UNKNOWN"), ("osInOrderBook", "SUBMITTED"),
    ("osFilled", "FILLED"), ("osBusted", "FILLED"), ("osCanceled", "CANCELLED"),
    ("osRejectFCM", "FAILED"), ("osRejectGW", "FAILED"), ("osDisconnected", "FAILED"),
    ("osExpired", "FAILED"), ("osInTransitTimeout", "FAILED")]


def test_status_mapping(gatelink):
    for cqg_status, member in STATUS_TABLE:
        mapped = gatelink.convert_orderstatus_cqg2cv(getattr(constants, cqg_status))
        assert mapped is getattr(gatelink.OrderStatus, member), cqg_status
    outside = max(getattr(constants, name) for name, _ in STATUS_TABLE) + 1
    for status in (outside, None):
        with pytest.raises(ValueError, match=f"^Order status {status} is not valid to be "
                                             r"handled by corvane\.$"):
            gatelink.convert_orderstatus_cqg2cv(status)


def test_cancel_by_guid_takes_exact_text_only(placing):
    link, cel, _ = placing
    cel.CreateOrder(), cel.CreateOrder()
    assert link.cancel_order("GUID-2") is None
    assert cel.calls[-1] == ("Cancel", "GUID-2")

    class Text(str):
        pass

    for bad in (b"GUID-1", None, Text("GUID-1")):
        with pytest.raises(TypeError, match="^Argument 'orderid' has incorrect type"):
            link.cancel_order(bad)
    assert cel.calls[-1] == ("Cancel", "GUID-2")
