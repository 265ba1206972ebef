"""Quotes, order books and timed bars through the framework's CQG gateway, the real COM bridge
and the emulated market: requests go through the bridge's proxy, answers and market data
arrive on the bridge's thread as wrapped objects (instances of the type library's generated
classes unless a test asks for late binding), in the order the market sent them."""
import datetime

import pytest
from win32com.client import constants

import corvane_emulator as emu
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway

pytestmark = pytest.mark.timeout(60)

INVALID = -2147483648
EP = Futures(code="EPZ26", security_name="E-mini S&P 500 Dec 26")
CL = Futures(code="CLEF27", security_name="Crude oil Jan 27")


@pytest.fixture(params=["queued", "nested"])
def delivery(request):
    return request.param


@pytest.fixture
def gateway(gatelink, trace):
    """A gateway following EPZ26 and CLEF27 (not ENQZ26) over a fresh emulated market."""
    emu.reset()
    gw = CqgGateway([EP, CL], history=1000)
    yield gw
    gw.close()
    emu.reset()


def connected(gateway, **scenario):
    emu.load_scenario(**scenario)
    gateway.connect()
    return gateway.gatelink


def settle(gateway):
    """Returns once everything the market posted so far has been handled: a call through the
    proxy is queued behind it on the bridge's thread."""
    gateway.comBridge.cqgCEL.Instruments


def pushed_quotes(gateway, symbol, quotes):
    events = emu.push_quotes(symbol, quotes)
    settle(gateway)
    return events


def last_assignments(member):
    return [entry for entry in emu.property_log() if entry[1] == member]


class TestQuotes:
    def test_subscribe_stream_and_unsubscribe(self, gatelink, gateway, trace, delivery):
        link = connected(gateway, event_delivery=delivery)
        link.subscribe_quote("EPZ26")
        assert trace == ["Waiting for eventQuoteDone in subscribe_quote(EPZ26)...",
                         "eventQuoteDone is done."]
        assert link.eventQuoteDone.is_set()
        assert last_assignments("DataSubscriptionLevel")[-1][2] == constants.dsQuotesAndBBA
        assert link.get_instrument_from_cqg_symbol("EPZ26").FullName == "F.US.EPZ26"

        # A bid alone is kept, not published; the ask of the same event publishes; an invalid
        # quote changes nothing; a settlement republishes the record as it stands.
        pushed_quotes(gateway, "EPZ26", [("qtBid", 5999.75), ("qtTrade", 1.0, False),
                                         ("qtAsk", 6000.25), ("qtSettlement", 6001.0)])
        assert [(q.bid_price, q.ask_price, q.last_price) for q in gateway.quotes] == [
            (5999.75, 6000.25, 0), (5999.75, 6000.25, 0)]
        first = gateway.quotes[0]
        assert gateway.quotes[1] is first is gateway.cqg_quotes[EP]
        assert first.security is EP and first.exchange == EP.exchange
        assert first.datetime.tzinfo is None

        pushed_quotes(gateway, "EPZ26", [("qtDayOpen", 5990.0), ("qtDayHigh", 6010.0),
                                         ("qtDayLow", 5980.5), ("qtYesterdaySettlement", 5995.0),
                                         ("qtTrade", 6000.0)])
        q = gateway.cqg_quotes[EP]
        assert (q.open_price, q.high_price, q.low_price, q.prev_close_price, q.last_price) == (
            5990.0, 6010.0, 5980.5, 5995.0, 6000.0)
        assert len(gateway.quotes) == 7

        del trace[:]
        link.unsubscribe_quote("EPZ26")
        assert trace == ["Successfully unsubscribe quote for EPZ26"]
        assert not link.eventQuoteDone.is_set()
        assert link.get_instrument_from_cqg_symbol("EPZ26") is None
        assert pushed_quotes(gateway, "EPZ26", [("qtTrade", 1.0)]) == 0
        assert len(gateway.quotes) == 7 and gateway.cqg_quotes[EP] is q  # kept after it

    @pytest.mark.parametrize("dispatch", ["generated", "late-bound"])
    def test_first_trade_publishes_at_once_and_unfollowed_instruments_are_skipped(
            self, gateway, dispatch):
        link = connected(gateway, dispatch=dispatch)
        link.subscribe_quote("CLEF27")
        link.subscribe_quote("ENQZ26")  # CQG knows it, the gateway does not follow it
        pushed_quotes(gateway, "ENQZ26", [("qtTrade", 21000.0)])
        assert not gateway.quotes
        pushed_quotes(gateway, "CLEF27", [("qtTrade", 70.01)])
        assert [(q.security, q.last_price, q.bid_price, q.ask_price) for q in gateway.quotes] == [
            (CL, 70.01, 0, 0)]

    def test_unknown_quote_type_ends_that_event_only(self, gateway, capfd):
        link = connected(gateway)
        link.subscribe_quote("EPZ26")
        pushed_quotes(gateway, "EPZ26", [("qtTrade", 6000.0), (999, 1.0), ("qtBid", 5999.0)])
        assert [q.last_price for q in gateway.quotes] == [6000.0]
        assert gateway.cqg_quotes[EP].bid_price == 0  # the quote after the fault is not read
        err = capfd.readouterr().err
        assert "pythoncom error: Python error invoking COM method." in err
        assert "KeyError: 999" in err
        pushed_quotes(gateway, "EPZ26", [("qtBid", 5999.0)])
        assert [q.bid_price for q in gateway.quotes] == [0, 5999.0]

    @pytest.mark.parametrize("fault", ["error", "unknown symbol", "never"])
    def test_unresolved_subscription_returns_with_its_lines(self, gatelink, gateway, trace,
                                                            fault):
        link = connected(gateway)
        symbol = "XXZ99" if fault == "unknown symbol" else "EPZ26"
        if fault != "unknown symbol":
            emu.fail_next_resolution("instrument", fault)
        link.subscribe_quote(symbol)
        assert trace == [f"Waiting for eventQuoteDone in subscribe_quote({symbol})...",
                         "eventQuoteDone is done."]
        assert link.eventQuoteDone.is_set() == (fault != "never")
        assert last_assignments("DataSubscriptionLevel") == []
        assert link.get_instrument_from_cqg_symbol(symbol) is None
        del trace[:]
        link.unsubscribe_quote(symbol)
        assert trace == []


class TestOrderBooks:
    def test_subscribe_stream_and_unsubscribe(self, gateway, trace, delivery):
        link = connected(gateway, event_delivery=delivery)
        link.subscribe_orderbook("EPZ26")
        assert trace == ["Limit: 10",
                         "Waiting for eventOrderbookDone in subscribe_orderbook(EPZ26)...",
                         "eventOrderbookDone is done."]
        request = [entry[1:] for entry in emu.property_log() if entry[1] != "DataSubscriptionLevel"]
        assert request == [("Symbol", "EPZ26"), ("Type", constants.trtCurrentNotify),
                           ("TickFilter", constants.tfAll), ("SessionsFilter", 31),
                           ("Limit", 10)]
        assert link.get_ticks_from_cqg_symbol("EPZ26").Request.Symbol == "EPZ26"

        def pushed(*ticks):
            emu.push_ticks("EPZ26", list(ticks))
            settle(gateway)
            return [(b.bid_price_1, b.bid_volume_1, b.ask_price_1, b.ask_volume_1)
                    for b in gateway.orderbooks]

        assert pushed(("tptAsk", 6000.25, 5)) == []
        assert gateway.cqg_orderbooks[EP].ask_price_1 == 6000.25
        assert pushed(("tptBid", 5999.75, 0)) == []  # a side without volume is not complete
        assert pushed(("tptBid", 5999.5, 3), ("tptAsk", 6000.0, 7)) == [
            (5999.5, 3, 6000.25, 5), (5999.5, 3, 6000.0, 7)]
        book = gateway.orderbooks[-1]
        assert book.security is EP and book.datetime.tzinfo is None
        # Trade and settlement ticks republish the same book, time stamp included.
        assert pushed(("tptTrade", 6000.0, 1), ("tptSettlement", 5990.0, 0))[2:] == [
            (5999.5, 3, 6000.0, 7)] * 2
        assert gateway.orderbooks[-1] is book

        del trace[:]
        link.unsubscribe_orderbook("EPZ26")
        assert trace == ["Successfully unsubscribe orderbook for EPZ26"]
        assert link.get_ticks_from_cqg_symbol("EPZ26") is None
        assert len(pushed(("tptBid", 1.0, 1))) == 4

    def test_unknown_tick_type_ends_that_event_only(self, gateway, capfd):
        link = connected(gateway)
        link.subscribe_orderbook("EPZ26")
        emu.push_ticks("EPZ26", [("tptAsk", 6000.25, 5), (77, 1.0, 1), ("tptBid", 5999.0, 2)])
        settle(gateway)
        assert not gateway.orderbooks and gateway.cqg_orderbooks[EP].bid_price_1 == 0
        assert "KeyError: 77" in capfd.readouterr().err

    def test_resolution_error_only_releases_the_wait(self, gateway, trace):
        link = connected(gateway)
        link.subscribe_orderbook("XXZ99")
        assert trace[-1] == "eventOrderbookDone is done." and link.eventOrderbookDone.is_set()


def history(count, invalid=()):
    """`count` one-minute bars, close = 100 + position; `invalid` holds (position, field)."""
    bars = [{"open": 100.0 + n, "high": 101.0 + n, "low": 99.0 + n, "close": 100.0 + n,
             "volume": 10 + n} for n in range(count)]
    for position, field in invalid:
        bars[position][field] = INVALID
    return bars


class TestTimedBars:
    def test_window_repair_rolling_and_unsubscribe(self, gatelink, gateway, trace, capsys,
                                                   delivery):
        link = connected(gateway, event_delivery=delivery)
        emu.set_history("EPZ26", history(6, invalid=[(3, "close"), (4, "close"), (3, "volume")]))
        link.subscribe_bar("EPZ26", 4)
        assert trace == ["Create 1Min timed bars request for EPZ26",
                         "Waiting for eventBarDone in subscribe_bar(EPZ26)...",
                         "eventBarDone is done."]
        log = [entry[1:] for entry in emu.property_log()]
        assert log == [("Symbol", "EPZ26"), ("RangeStart", 0), ("RangeEnd", -5),
                       ("IntradayPeriod", constants.pfds1Min),
                       ("DailyBarClose", constants.dbcLastQuoteOrSettlement),
                       ("UpdatesEnabled", True), ("SessionsFilter", "all")]
        outputs = [entry[2] for entry in emu.call_log() if entry[1] == "IncludeOutput"]
        assert outputs == [(constants.tbrContractVolume, True),
                           (constants.tbrCommodityVolume, True)]

        # The look-back window: the newest four completed bars, not the forming one.
        bars = link.subscribe_bars_data[EP]
        assert [b.open for b in bars] == [102.0, 103.0, 104.0, 105.0]
        assert all(b.security is EP for b in bars)
        times = [b.datetime for b in bars]
        assert all(t.tzinfo is None and t.microsecond == 0 for t in times)
        assert [later - earlier for earlier, later in zip(times, times[1:])] == [
            datetime.timedelta(minutes=1)] * 3
        assert [b.close for b in bars][1:3] == [INVALID, INVALID]

        assert link.get_subscribe_bars_data(EP) is bars
        assert [(b.close, b.volume) for b in bars] == [
            (102.0, 12), (102.0, 12), (102.0, 14), (105.0, 15)]

        capsys.readouterr()
        emu.close_bar("EPZ26", open=1.0, high=2.0, low=0.5, close=1.5, volume=9)
        settle(gateway)
        out = capsys.readouterr().out.splitlines()
        assert len(out) == 1 and out[0].startswith("[2] OnTimedBarsAdded: Bar(")
        newest = bars[-1]
        assert out[0] == f"[2] OnTimedBarsAdded: {newest}"
        assert (newest.open, newest.high, newest.low, newest.close, newest.volume) == (
            1.0, 2.0, 0.5, 1.5, 9)
        assert newest.datetime - times[-1] == datetime.timedelta(minutes=1)
        assert [b.open for b in bars][:3] == [103.0, 104.0, 105.0]

        # The clock closing the minute of the forming bar (the one after the bar just
        # closed) rolls the window the same way.
        emu.advance(120)
        settle(gateway)
        assert len(bars) == 4 and bars[-1].datetime - newest.datetime == datetime.timedelta(
            minutes=1)
        assert capsys.readouterr().out == f"[2] OnTimedBarsAdded: {bars[-1]}\n"
        emu.update_forming_bar("EPZ26", 1234.0)
        settle(gateway)
        assert len(bars) == 4 and bars[-1].close != 1234.0

        del trace[:]
        link.unsubscribe_bar("EPZ26")
        assert trace == ["Successfully unsubscribe timedbar for EPZ26"]
        assert EP not in link.subscribe_bars_data and link.get_subscribe_bars_data(EP) is None
        assert link.get_timedbars_from_cqg_symbol("EPZ26") is None
        emu.close_bar("EPZ26")
        settle(gateway)
        assert capsys.readouterr().out == ""

    def test_daily_request_and_a_field_without_any_value(self, gateway):
        link = connected(gateway)
        emu.set_history("EPZ26", history(3, invalid=[(n, "volume") for n in range(3)]))
        link.subscribe_bar("EPZ26", 2, "1Day")
        assert [entry[1:] for entry in emu.property_log()][3] == ("HistoricalPeriod",
                                                                  constants.hpDaily)
        with pytest.raises(ValueError) as raised:
            link.get_subscribe_bars_data(EP)
        newest = link.subscribe_bars_data[EP][-1]
        assert str(raised.value) == f"The latest bar is INVALID: {newest}."
        assert newest.volume == INVALID

    @pytest.mark.parametrize("fault", ["error", "never"])
    def test_unresolved_request_keeps_no_window(self, gateway, trace, fault):
        link = connected(gateway)
        emu.fail_next_resolution("bars", fault)
        link.subscribe_bar("EPZ26", 5)
        assert trace[-1] == "eventBarDone is done."
        assert link.eventBarDone.is_set() == (fault == "error")
        assert EP not in link.subscribe_bars_data and link.get_subscribe_bars_data(EP) is None


def test_by_default_the_gateway_keeps_only_the_latest_quote(gatelink, trace):
    emu.reset()
    gw = CqgGateway([EP])
    try:
        gw.connect()
        gw.gatelink.subscribe_quote("EPZ26")
        pushed_quotes(gw, "EPZ26", [("qtTrade", 1.0), ("qtTrade", 2.0)])
        assert not gw.quotes and gw.received["quote"] == 2
        assert gw.cqg_quotes[EP].last_price == 2.0
    finally:
        gw.close()
        emu.reset()
