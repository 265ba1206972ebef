"""Placing and cancelling orders, and order changes turned into updates and deals, with the
requests and handlers called directly over stand-ins shaped like pywin32's wrappers."""
import dataclasses
import re
from datetime import datetime

import pytest
from win32com.client import constants as c

from corvane.core.constants import Direction, OrderType
from corvane.core.order import Order

from gatelink_fakes import Wrapper, linked_over
from order_fakes import Fill, OrderCEL, OrderGateway

INSTRUMENT = Wrapper()


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


def report(link, cqg_order, status, change="ctChanged", fill=None, error=None):
    cqg_order.status = status
    link.OnOrderChanged(getattr(c, change), cqg_order, None, fill, error)


class TestPlaceOrder:
    @pytest.mark.parametrize("order_type, cqg_type, prices", [
        (OrderType.MARKET, "otMarket", ()), (OrderType.LIMIT, "otLimit", (5000.25,)),
        (OrderType.STOP, "otStop", (5000.25, 4999.0))])
    def test_created_placed_and_confirmed(self, placing, order_type, cqg_type, prices):
        link, cel, _ = placing
        assert link.place_order(order(order_type)) == "GUID-1"
        assert link.order_id is None and link.eventOrderPlaced.is_set()
        assert cel.calls == [("CreateOrder", getattr(c, cqg_type), INSTRUMENT, cel.accounts[0],
                              3, c.osdSell) + prices, ("Place", "GUID-1", 0)]

    def test_confirmed_inside_place_and_without_a_known_account(self, placing):
        link, cel, _ = placing
        cel.answer, link.GWAccountID = "nested", 4242
        assert link.place_order(order(direction=Direction.LONG)) == "GUID-1"
        assert cel.calls[0][3:6] == (None, 3, c.osdBuy)
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

    def test_unconfirmed_times_out_and_a_late_confirmation_still_counts(self, placing):
        link, cel, _ = placing
        cel.answer = "never"
        with pytest.raises(RuntimeError) as raised:
            link.place_order(order())
        assert str(raised.value) == f"Order placing timeout!\n{order()} "
        report(link, cel.orders[0], c.osInTransit, "ctAdded")
        assert link.order_id == "GUID-1" and link.eventOrderPlaced.is_set()
        cel.answer = "thread"
        assert link.place_order(order()) == "GUID-2"


class TestOrderChanged:
    def test_a_fill_gives_the_update_then_the_deal(self, gatelink, placing):
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        placed.avg_price, placed.filled = 5000.5, 3
        report(link, placed, c.osFilled, fill=Fill(placed, "F-1", 5000.5, 3))
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
        for stamp in (update["updated_time"], deal["updated_time"]):
            assert type(stamp) is datetime and stamp.tzinfo is None

    def test_rejected_removed_and_fills_not_normal(self, gatelink, placing):
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        report(link, placed, c.osRejectGW, fill=Fill(placed, "F-1", status=c.fsBusted))
        report(link, placed, c.osCanceled, "ctRemoved")
        assert [(kind, u["status"]) for kind, u in gateway.received] == [
            ("order", gatelink.OrderStatus.FAILED), ("order", gatelink.OrderStatus.CANCELLED)]

    def test_added_orders_are_handed_over_once_and_never_updates(self, placing, capsys):
        link, cel, gateway = placing
        mine, outside, failed = cel.CreateOrder(), cel.CreateOrder(), cel.CreateOrder()
        report(link, failed, c.osFilled, "ctAdded", Fill(failed, "F-0"), error=Wrapper())
        assert not link.eventOrderPlaced.is_set() and gateway.received == []
        report(link, mine, c.osFilled, "ctAdded", Fill(mine, "F-1"))
        report(link, outside, c.osFilled, "ctAdded", Fill(outside, "F-2"))
        assert link.order_id == "GUID-1" and link.eventOrderPlaced.is_set()
        assert [(kind, d["deal_id"]) for kind, d in gateway.received] == [("deal", "F-1")]
        assert capsys.readouterr().out == "orderid GUID-2 is not placed by algo\n"

    def test_an_unknown_status_raises_once_the_order_and_its_fill_are_safe(self, placing):
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        message = "^Order status -5 is not valid to be handled by corvane.$"
        with pytest.raises(ValueError, match=message):
            report(link, placed, -5, "ctAdded")
        assert link.order_id == "GUID-1"  # a waiting place_order still learns of the order
        with pytest.raises(ValueError, match=message):
            report(link, placed, -5, fill=Fill(placed, "F-1"))
        assert [kind for kind, _ in gateway.received] == ["deal"]

    def test_a_failing_order_update_still_hands_the_fill_over(self, placing, capsys):
        link, cel, gateway = placing
        placed = cel.CreateOrder()

        def refuse(update):
            raise RuntimeError("order store unavailable")

        gateway.process_order = refuse
        with pytest.raises(RuntimeError, match="^order store unavailable$"):
            report(link, placed, c.osFilled, fill=Fill(placed, "F-1", 5000.5, 3))
        assert [(kind, r["deal_id"]) for kind, r in gateway.received] == [("deal", "F-1")]
        # When the fill fails as well, the order's error is raised and the fill's printed.
        gateway.failing_deals = 1
        with pytest.raises(RuntimeError, match="^order store unavailable$"):
            report(link, placed, c.osFilled, fill=Fill(placed, "F-2"))
        assert "RuntimeError: store unavailable" in capsys.readouterr().err
        del gateway.process_order
        report(link, placed, c.osFilled, fill=Fill(placed, "F-2"))  # the repeat brings it
        assert [r["deal_id"] for kind, r in gateway.received if kind == "deal"] == ["F-1", "F-2"]

    def test_the_deal_ids_remembered_against_repeats_stay_bounded(self, placing):
        # A long session fills without end: only the latest ids are kept, and a repeat of a
        # recent fill is still one deal.
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        for n in range(10_050):
            link.OnOrderChanged(c.ctChanged, placed, None, Fill(placed, f"F-{n}"), None)
        report(link, placed, c.osInOrderBook, fill=Fill(placed, "F-10049"))
        assert sum(kind == "deal" for kind, _ in gateway.received) == 10_050
        assert len(link._forwarded_deal_ids) == 10_000

    def test_a_fill_reported_twice_is_one_deal_unless_first_refused(self, placing):
        link, cel, gateway = placing
        placed = cel.CreateOrder()
        gateway.failing_deals = 1
        with pytest.raises(RuntimeError, match="store unavailable"):
            report(link, placed, c.osInOrderBook, fill=Fill(placed, "F-1"))
        for fill_id in ("F-1", "F-1", "F-2"):
            report(link, placed, c.osInOrderBook, fill=Fill(placed, fill_id))
        assert [r["deal_id"] for kind, r in gateway.received if kind == "deal"] == ["F-1", "F-2"]


STATUSES = {"UNKNOWN": ["osActiveAt", "osContingent", "osInCancel", "osInClient", "osInModify",
                        "osInTransit", "osNotSent", "osParked"],
            "SUBMITTED": ["osInOrderBook"], "FILLED": ["osFilled", "osBusted"],
            "CANCELLED": ["osCanceled"],
            "FAILED": ["osRejectFCM", "osRejectGW", "osDisconnected", "osExpired",
                       "osInTransitTimeout"]}


def test_status_mapping(gatelink):
    for member, names in STATUSES.items():
        for name in names:
            assert gatelink.convert_orderstatus_cqg2cv(getattr(c, name)) is getattr(
                gatelink.OrderStatus, member), name
    outside = max(getattr(c, name) for names in STATUSES.values() for name in names) + 1
    for status in (outside, None):
        with pytest.raises(ValueError, match=f"^Order status {status} is not valid"):
            gatelink.convert_orderstatus_cqg2cv(status)


def test_cancel_by_guid_takes_exact_text_only(placing):
    link, cel, _ = placing
    cel.CreateOrder(), cel.CreateOrder()
    assert link.cancel_order("GUID-2") is None
    for bad in (b"GUID-1", None, type("Text", (str,), {})("GUID-1")):
        with pytest.raises(TypeError, match="^Argument 'orderid' has incorrect type"):
            link.cancel_order(bad)
    assert cel.calls[-1] == ("Cancel", "GUID-2")
