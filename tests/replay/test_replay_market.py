"""The emulated market driven by recorded events: what the framework's gateway receives through
the bridge, the clock, orders filled at the recorded prices, and malformed input refused."""
import math
import time

import pytest

import corvane_emulator as emu
from corvane.core.constants import Direction, OrderType
from corvane.core.order import Order

from replay_helpers import CL, EP, T0, bar, quote, settle, subscribed, tick

pytestmark = pytest.mark.timeout(60)

HISTORY = [bar(-500, -3, 5990.0, 5995.0, 5985.0, 5991.0),
           bar(-500, -2, 5991.0, 5999.0, 5990.0, 5998.0),
           bar(-500, -1, 5998.0, 6001.0, 5996.0, 6000.0),
           bar(-500, 0, 6000.0, 6000.0, 6000.0, 6000.0, 1.0, 1.0)]


def prices(quotes):
    return [(q.bid_price, q.ask_price, q.last_price) for q in quotes]


class TestDelivery:
    def test_recorded_quotes_ticks_and_bars_reach_the_gateway_in_order(self, gateway):
        events = HISTORY + [
            quote(0, "qtBid", 5999.75, 3), quote(0, "qtAsk", 6000.25, 4),
            tick(0, "tptBid", 5999.75, 3), tick(0, "tptAsk", 6000.25, 4),
            quote(10, "qtTrade", 6000.0, 2), quote(10, "qtBid", 0.0, 0, valid=False),
            bar(10, 0, 6000.0, 6000.5, 5999.5, 6000.0, 3.0, 2.0),
            quote(20, "qtTrade", 6001.0, 1, name="F.US.CLEF27"),  # nobody follows its quotes
            quote(61_000, "qtTrade", 6002.0, 5),
            # The minute closed: the completed bar, then the new one, as one event.
            bar(61_000, 0, 6000.0, 6002.5, 5999.0, 6001.5, 40.0, 9.0),
            bar(61_000, 1, 6001.5, 6002.0, 6001.5, 6002.0, 5.0, 1.0),
        ]
        loaded = emu.load_replay(events, live=False)
        assert loaded["events"] == len(events) - 4 and loaded["history_bars"] == 4
        assert loaded["start"] == T0 / 1e9 and loaded["end"] == T0 / 1e9 + 61.0
        assert emu.clock_now() == T0 / 1e9
        link = subscribed(gateway, "EPZ26")
        # Requested before the market starts: the recorded history, not the walk's.
        assert [b.close for b in link.get_subscribe_bars_data(EP)] == [5991.0, 5998.0, 6000.0]
        assert list(gateway.quotes) == []

        emu.advance(0.005)  # the events at 0 ms only
        settle(gateway)
        assert prices(gateway.quotes) == [(5999.75, 6000.25, 0)]
        book = gateway.orderbooks[-1]
        assert (book.bid_price_1, book.bid_volume_1, book.ask_price_1, book.ask_volume_1) == (
            5999.75, 3, 6000.25, 4)

        emu.advance(0.1)
        settle(gateway)
        assert prices(gateway.quotes) == [(5999.75, 6000.25, 0), (5999.75, 6000.25, 6000.0)]
        assert emu.replay_stats()["posted"] == 8 and not emu.replay_stats()["finished"]

        emu.advance(61.0)
        settle(gateway)
        assert prices(gateway.quotes)[-1] == (5999.75, 6000.25, 6002.0)
        bars = link.get_subscribe_bars_data(EP)
        assert [(b.open, b.high, b.low, b.close, b.volume) for b in bars[-2:]] == [
            (5998.0, 6001.0, 5996.0, 6000.0, 10), (6000.0, 6002.5, 5999.0, 6001.5, 40)]
        assert emu.replay_stats()["finished"] and emu.clock_now() == T0 / 1e9 + 61.105
        stats = emu.market_stats()
        assert stats["quotes"] == 5 and stats["ticks"] == 2 and stats["bars"] == 1

    def test_times_that_run_backwards_keep_the_recorded_order(self, gateway):
        link = subscribed(gateway, "EPZ26")
        emu.load_replay([quote(100, "qtBid", 5999.0), quote(50, "qtAsk", 6001.0),
                         quote(100, "qtTrade", 6000.0), quote(200, "qtTrade", 6000.5)],
                        live=False)
        emu.advance(0.0)  # the bid, the ask stamped before it, and the trade at its time
        settle(gateway)
        assert prices(gateway.quotes) == [(5999.0, 6001.0, 0), (5999.0, 6001.0, 6000.0)]
        assert link is gateway.gatelink

    def test_a_request_during_the_replay_sees_the_bars_before_the_cursor(self, gateway):
        link = subscribed(gateway, "EPZ26")
        emu.load_replay(HISTORY + [quote(0, "qtTrade", 6000.0),
                                   bar(60_000, 0, 6000.0, 6003.0, 5999.0, 6002.0),
                                   bar(60_000, 1, 6002.0, 6002.0, 6002.0, 6002.0),
                                   bar(120_000, 1, 6002.0, 6004.0, 6001.0, 6003.0),
                                   bar(120_000, 2, 6003.0, 6003.0, 6003.0, 6003.0)],
                        live=False)
        emu.advance_replay(3)
        settle(gateway)
        link.unsubscribe_bar("EPZ26")
        link.subscribe_bar("CLEF27", 10, "1Min")  # an instrument the recording lacks
        link.subscribe_bar("EPZ26", 10, "1Min")
        assert [b.close for b in link.get_subscribe_bars_data(EP)] == [
            5991.0, 5998.0, 6000.0, 6002.0]
        assert link.get_subscribe_bars_data(CL) is None


class TestOrders:
    def test_orders_fill_at_the_recorded_bid_and_ask(self, gateway):
        link = subscribed(gateway, "EPZ26")
        emu.load_replay([quote(0, "qtBid", 5999.0, 10), quote(0, "qtAsk", 6001.0, 10),
                         quote(10, "qtBid", 5997.0, 10), quote(10, "qtAsk", 5998.0, 10),
                         quote(20, "qtBid", 6004.0, 10), quote(20, "qtAsk", 6005.0, 10)],
                        live=False)
        emu.advance(0.0)
        settle(gateway)
        gateway.place_order(Order(EP, OrderType.MARKET, Direction.LONG, 1))
        gateway.place_order(Order(EP, OrderType.MARKET, Direction.SHORT, 1))
        gateway.place_order(Order(EP, OrderType.LIMIT, Direction.LONG, 1, 5998.5))
        gateway.place_order(Order(EP, OrderType.STOP, Direction.LONG, 1, 0.0, 6003.0))
        settle(gateway)
        assert [f["price"] for f in emu.fills()] == [6001.0, 5999.0]
        emu.advance(0.01)  # the ask falls through the limit
        settle(gateway)
        assert [f["price"] for f in emu.fills()] == [6001.0, 5999.0, 5998.0]
        emu.advance(0.01)  # the market rises through the stop
        settle(gateway)
        assert [f["price"] for f in emu.fills()] == [6001.0, 5999.0, 5998.0, 6005.0]
        assert sorted(d["filled_avg_price"] for d in gateway.deals) == [
            5998.0, 5999.0, 6001.0, 6005.0]
        link.update_positions()
        (position,) = link.positions
        assert position.security is EP and position.quantity == 2


class TestLive:
    @pytest.mark.parametrize("speed", [1.0, 3.0])
    def test_a_paced_replay_follows_the_recorded_times(self, gateway, speed):
        subscribed(gateway, "EPZ26")
        events = [quote(0, "qtBid", 5999.0), quote(0, "qtAsk", 6001.0)] + [
            quote(ms, "qtTrade", 6000.0 + ms / 4) for ms in range(5, 300, 5)]
        started = time.monotonic()
        emu.load_replay(events, speed=speed, step=0.01)
        while not emu.replay_stats()["finished"]:
            time.sleep(0.01)
        elapsed = time.monotonic() - started
        settle(gateway)
        assert elapsed >= 0.29 / speed  # never ahead of the recording at its speed
        assert prices(gateway.quotes)[-1] == (5999.0, 6001.0, 6000.0 + 295 / 4)
        assert gateway.received["quote"] == len(events) - 1
        assert emu.market_stats()["quotes_skipped"] == 0

    def test_as_fast_as_possible_skips_nothing(self, gateway):
        subscribed(gateway, "EPZ26", "CLEF27")
        events = [quote(0, "qtBid", 69.0, name="F.US.CLEF27"),
                  quote(0, "qtAsk", 71.0, name="F.US.CLEF27")]
        events += [quote(i // 100, "qtTrade", 70.0 + i % 7, name="F.US.CLEF27")
                   for i in range(20_000)]
        emu.load_replay(events, speed=None)
        deadline = time.monotonic() + 30
        while gateway.received["quote"] < 20_001 and time.monotonic() < deadline:
            time.sleep(0.01)
        settle(gateway)
        assert gateway.received["quote"] == 20_001
        assert emu.replay_stats()["finished"]
        assert gateway.cqg_quotes[CL].last_price == 70.0 + 19_999 % 7


class TestRefused:
    @pytest.mark.parametrize("event, message", [
        (("quote", T0, "F.US.EPZ26", "qtNoSuch", 1.0, 1.0, True), "index 1: the quote type"),
        (("quote", T0, "F.US.EPZ26", "qtBid", 1.0, 1.0), "index 1: a quote event has 7 items"),
        (("tick", 1.5, "F.US.EPZ26", "tptBid", 1.0, 1.0), "index 1: the time must be an int"),
        (("tick", T0, "F.US.EPZ26", "qtBid", 1.0, 1.0), "index 1: the price type"),
        (("bar", T0, "F.US.EPZ26", T0, 1.0, "x", 1.0, 1.0, 1.0, 1.0), "index 1: the high"),
        (("quote", T0, "F.US.EPZ26", "qtBid", 1.0, None, 1), "index 1: is_valid"),
        (("deal", T0, "F.US.EPZ26"), "index 1: 'deal' is no replay event kind"),
        (("quote", T0, "F.US.EPZ26", "qtBid", math.nan, 1.0, True), "index 1: the price must"),
        (("quote", T0, "F.US.EPZ26", "qtBid", 1.0, -1.0, True), "index 1: the volume must be bet"),
        (("tick", T0, "F.US.EPZ26", "tptBid", 1.0, math.inf), "index 1: the volume must be"),
        (("bar", T0, "F.US.EPZ26", T0, 1.0, 1.0, 1.0, 1.0, math.inf, 1.0), "index 1: the actual"),
        (("bar", T0, "F.US.EPZ26", T0, 1.0, 10**400, 1.0, 1.0, 1.0, 1.0), "index 1: the high is"),
        (("quote", 10**30, "F.US.EPZ26", "qtBid", 1.0, 1.0, True), "index 1: the time is out of"),
        ("quote", "index 1: a replay event is a tuple"),
    ])
    def test_a_malformed_event_is_refused_before_anything_changes(self, event, message):
        emu.reset()
        before = emu.clock_now()
        with pytest.raises(ValueError, match=message):
            emu.load_replay([quote(0, "qtBid", 1.0), event], live=False)
        assert emu.clock_now() == before and not emu.is_live()
        with pytest.raises(RuntimeError, match="no replay is loaded"):
            emu.replay_stats()

    def test_nothing_to_replay_is_refused(self):
        emu.reset()
        before = emu.clock_now()
        with pytest.raises(ValueError, match="nothing to replay: no events"):
            emu.load_replay([], live=False)
        with pytest.raises(ValueError, match="no event names an instrument of the scenario"):
            emu.load_replay([quote(0, "qtBid", 1.0, name="F.US.ZNH27")], live=False)
        assert emu.clock_now() == before
        with pytest.raises(RuntimeError, match="no replay is loaded"):
            emu.replay_stats()

    def test_a_symbol_the_scenario_lacks_is_reported_once(self, gateway):
        events = [quote(ms, "qtTrade", 1.0, name="F.US.ZNH27") for ms in range(50)]
        events += [quote(ms, "qtTrade", 6000.0) for ms in range(3)]
        events += [tick(60, "tptTrade", 1.0, name="ZNH27")]
        with pytest.warns(RuntimeWarning) as warned:
            loaded = emu.load_replay(events, live=False)
        assert [str(w.message) for w in warned] == [
            "the recording's symbol 'ZNH27' is not an instrument of the scenario; its 51 "
            "events are left out of the replay"]
        assert loaded["left_out"] == {"ZNH27": 51} and loaded["events"] == 3
        assert loaded["instruments"] == ["F.US.EPZ26"]

    def test_a_bare_symbol_and_missing_bar_values_are_taken(self, gateway):
        link = subscribed(gateway, "EPZ26")
        emu.load_replay([quote(0, "qtTrade", 6000.0, name="EPZ26"),
                         bar(0, 0, 6000.0, math.nan, 6000.0, 6000.0, name="EPZ26"),
                         bar(60_000, 1, 6000.0, 6000.0, 6000.0, 6000.0, name="EPZ26")],
                        live=False)
        emu.advance(60.0)
        settle(gateway)
        assert gateway.quotes[-1].last_price == 6000.0
        # The missing high reached the gateway as CQG's INVALID and was repaired there.
        assert gateway.gatelink.subscribe_bars_data[EP][-1].high == -2147483648
        assert link is gateway.gatelink
