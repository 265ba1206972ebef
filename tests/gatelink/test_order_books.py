"""Order books from tick requests: the request, the tick handler's publication rules and
the look-up, called directly with stand-ins shaped like pywin32 wrappers."""
import threading

import pytest
from win32com.client import constants

from market_fakes import EPZ26, NQZ26, Tick, Ticks


def added(link, ticks, *new):
    ticks.items.extend(new)
    link.OnTicksAdded(ticks, len(new))


class TestTickTypeNames:
    def test_the_four_types_and_an_unknown_one(self, gatelink):
        assert [gatelink.TickType2String(getattr(constants, c))
                for c in ("tptAsk", "tptBid", "tptSettlement", "tptTrade")] == [
            "Ask price", "Bid price", "Settlement price", "Trade price"]
        known = {getattr(constants, c) for c in ("tptAsk", "tptBid", "tptSettlement", "tptTrade")}
        with pytest.raises(KeyError):
            gatelink.TickType2String(max(known) + 1)


class TestSubscription:
    def test_request_fields_in_order_and_the_limit_read_back(self, market, trace):
        link, cel, _ = market
        cel.on_request = lambda member, request: threading.Thread(
            target=link.OnTicksResolved, args=(Ticks("EPZ26"), None)).start()
        link.eventOrderbookDone.set()
        assert link.subscribe_orderbook("EPZ26") is None
        assert cel.request_log == [
            ("Symbol", "EPZ26"), ("Type", constants.trtCurrentNotify),
            ("TickFilter", constants.tfAll), ("SessionsFilter", 31), ("Limit", 10)]
        assert [member for member, _ in cel.calls] == ["RequestTicks"]
        assert trace == ["Limit: 10", "Waiting for eventOrderbookDone in subscribe_orderbook(EPZ26)...",
                         "eventOrderbookDone is done."]

    def test_time_out_returns_and_an_error_releases(self, market, trace):
        link, _, _ = market
        link.subscribe_orderbook("EPZ26")
        assert trace[-1] == "eventOrderbookDone is done."
        link.OnTicksResolved(None, object())
        assert link.eventOrderbookDone.is_set()

    def test_unsubscribe_and_look_up_by_request_symbol(self, market, trace):
        link, cel, gateway = market
        first, second = Ticks("NQZ26"), Ticks("EPZ26")
        cel.AllTicks.items = [first, second]
        assert link.get_ticks_from_cqg_symbol("Z26") is first
        link.unsubscribe_orderbook("CLEF27")
        assert cel.calls == [] and trace == []
        gateway.cqg_orderbooks[EPZ26] = "kept"
        link.eventOrderbookDone.set()
        link.unsubscribe_orderbook("EPZ26")
        assert cel.calls == [("RemoveTicks", second)] and not link.eventOrderbookDone.is_set()
        assert trace == ["Successfully unsubscribe orderbook for EPZ26"]
        assert gateway.cqg_orderbooks[EPZ26] == "kept"
        with pytest.raises(TypeError, match="Argument 'cqg_symbol'"):
            link.subscribe_orderbook(None)


class TestPublication:
    def test_one_side_is_kept_and_the_other_publishes(self, market):
        link, _, gateway = market
        ticks = Ticks("EPZ26")
        added(link, ticks, Tick("tptAsk", 6000.25, 4))
        book = gateway.cqg_orderbooks[EPZ26]
        assert (book.ask_price_1, book.ask_volume_1, book.bid_price_1) == (6000.25, 4, 0)
        assert book.exchange is EPZ26.exchange and gateway.orderbooks == []
        added(link, ticks, Tick("tptBid", 6000.0, 7))
        [published] = gateway.orderbooks
        assert (published.bid_price_1, published.bid_volume_1, published.ask_price_1,
                published.ask_volume_1) == (6000.0, 7, 6000.25, 4)
        assert book.bid_price_1 == 0  # copied, never changed in place

    def test_only_the_added_ticks_in_order(self, market):
        link, _, gateway = market
        old = [Tick(-1, 0.0, 0)] * 22  # an unknown type: reading any of these would fail
        ticks = Ticks("NQZ26", old)
        added(link, ticks, Tick("tptBid", 1.0, 1), Tick("tptAsk", 2.0, 2), Tick("tptBid", 1.5, 3))
        assert ticks.Count == 25
        assert [(b.bid_price_1, b.bid_volume_1) for b in gateway.orderbooks] == [(1.0, 1), (1.5, 3)]
        assert gateway.cqg_orderbooks[NQZ26] is gateway.orderbooks[-1]

    def test_bid_volume_zero_stops_publication(self, market):
        link, _, gateway = market
        ticks = Ticks("EPZ26")
        added(link, ticks, Tick("tptBid", 1.0, 1), Tick("tptAsk", 2.0, 1))
        added(link, ticks, Tick("tptBid", 1.25, 0), Tick("tptAsk", 2.25, 1))
        assert len(gateway.orderbooks) == 1
        assert gateway.cqg_orderbooks[EPZ26].bid_volume_1 == 0
        added(link, ticks, Tick("tptBid", 1.5, 2))
        assert len(gateway.orderbooks) == 2

    def test_trade_tick_republishes_the_same_book(self, market, frozen_now):
        link, _, gateway = market
        ticks = Ticks("EPZ26")
        added(link, ticks, Tick("tptBid", 1.0, 1), Tick("tptAsk", 2.0, 1))
        complete = gateway.orderbooks[-1]
        added(link, ticks, Tick("tptTrade", 1.5, 9), Tick("tptSettlement", 1.4, 0))
        assert gateway.orderbooks[-2:] == [complete, complete]
        assert gateway.orderbooks[-1] is complete

    def test_unknown_tick_type_ends_the_event(self, market):
        link, _, gateway = market
        ticks = Ticks("EPZ26")
        with pytest.raises(KeyError):
            added(link, ticks, Tick("tptBid", 1.0, 1), Tick(-5, 0.0, 0), Tick("tptAsk", 2.0, 1))
        assert gateway.cqg_orderbooks[EPZ26].ask_price_1 == 0

    def test_stored_book_of_another_class_is_copied_by_its_own_class(self, market, gatelink):
        import dataclasses

        link, _, gateway = market
        checked = []

        @dataclasses.dataclass(frozen=True)
        class CheckedBook(gatelink.OrderBook):  # a framework's own record, with a check
            venue: str = "X"

            def __post_init__(self):
                if self.bid_volume_1 < 0:
                    raise ValueError("negative volume")
                checked.append(self.bid_volume_1)

        gateway.cqg_orderbooks[EPZ26] = CheckedBook(security=EPZ26, exchange=None,
                                                    datetime=None, venue="Y")
        ticks = Ticks("EPZ26")
        added(link, ticks, Tick("tptBid", 1.0, 3), Tick("tptAsk", 2.0, 1))
        book = gateway.cqg_orderbooks[EPZ26]
        assert type(book) is CheckedBook and book.venue == "Y" and checked == [0, 3, 3]
        assert (book.bid_price_1, book.ask_price_1) == (1.0, 2.0)
        with pytest.raises(ValueError, match="negative volume"):
            added(link, ticks, Tick("tptBid", 1.0, -1))
        assert gateway.cqg_orderbooks[EPZ26] is book  # the refused copy was not stored
