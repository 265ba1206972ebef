"""Timed bars: the request, the window kept per security, its rolling, and the repair of
missing values before the window is handed out; called directly with stand-ins."""
import threading

import pytest
from win32com.client import constants

from market_fakes import EPZ26, INVALID, NQZ26, CQGBar, TimedBars, naive, stamp


def window(symbol, count, **fields):
    """`count` bars one minute apart; the last is the one being formed."""
    return TimedBars(symbol, [CQGBar(stamp(m), **fields) for m in range(count)])


def stored_bars(gatelink, values, field="close"):
    """Bars of EPZ26 with `field` taken from `values`, every other field whole."""
    return [gatelink.Bar(datetime=naive(i), security=EPZ26,
                         **{**dict(open=1, high=2, low=0, close=1, volume=5), field: v})
            for i, v in enumerate(values)]


class TestRequest:
    def test_minute_bars_request_fields_in_order(self, market, trace):
        link, cel, _ = market
        cel.on_request = lambda member, request: threading.Thread(
            target=link.OnTimedBarsResolved, args=(window("EPZ26", 3), None)).start()
        assert link.subscribe_bar("EPZ26", 100) is None
        assert cel.request_log == [
            ("Symbol", "EPZ26"), ("RangeStart", 0), ("RangeEnd", -101),
            ("IntradayPeriod", constants.pfds1Min),
            ("DailyBarClose", constants.dbcLastQuoteOrSettlement), ("UpdatesEnabled", True),
            ("IncludeOutput", constants.tbrContractVolume, True),
            ("IncludeOutput", constants.tbrCommodityVolume, True), ("SessionsFilter", "all")]
        assert trace == ["Create 1Min timed bars request for EPZ26",
                         "Waiting for eventBarDone in subscribe_bar(EPZ26)...",
                         "eventBarDone is done."]

    def test_daily_bars_and_a_float_look_back(self, market):
        link, cel, _ = market
        link.subscribe_bar("EPZ26", 20.9, freq="1Day")
        assert cel.request_log[2:4] == [("RangeEnd", -21), ("HistoricalPeriod", constants.hpDaily)]
        assert "IntradayPeriod" not in [entry[0] for entry in cel.request_log]

    def test_refused_arguments_reach_nothing(self, market):
        link, cel, _ = market
        with pytest.raises(ValueError) as raised:
            link.subscribe_bar("EPZ26", 100, "5Min")
        assert str(raised.value) == ("Parameter freq=5Min is Not supported. "
                                     "Only ('1Day', '1Min') are allowed.")
        with pytest.raises(TypeError, match="Argument 'lookback_period' has incorrect type"):
            link.subscribe_bar("EPZ26", "100")
        with pytest.raises(TypeError, match="Argument 'freq' has incorrect type"):
            link.subscribe_bar("EPZ26", 100, None)
        assert cel.calls == [] and cel.request_log == []


class TestResolution:
    def test_window_is_every_bar_but_the_forming_one(self, market):
        link, _, _ = market
        link.OnTimedBarsResolved(window("EPZ26", 4, open=INVALID), None)
        bars = link.subscribe_bars_data[EPZ26]
        assert [b.datetime for b in bars] == [naive(0), naive(1), naive(2)]
        assert bars[0].open == INVALID and bars[0].volume == 10 and bars[0].security is EPZ26
        assert bars[0].datetime.tzinfo is None and link.eventBarDone.is_set()

    def test_a_second_resolution_keeps_the_bars(self, market):
        link, _, _ = market
        link.OnTimedBarsResolved(window("EPZ26", 3), None)
        first = link.subscribe_bars_data[EPZ26]
        link.OnTimedBarsResolved(window("EPZ26", 9), None)
        assert link.subscribe_bars_data[EPZ26] is first and len(first) == 2

    def test_error_and_empty_answers_release_without_a_window(self, market):
        link, _, _ = market
        link.OnTimedBarsResolved(None, object())
        assert link.eventBarDone.is_set() and link.subscribe_bars_data == {}
        link.eventBarDone.clear()
        link.OnTimedBarsResolved(TimedBars("EPZ26"), None)
        assert link.eventBarDone.is_set() and link.subscribe_bars_data == {}

    def test_only_the_forming_bar_leaves_an_empty_window_filled_later(self, market):
        link, _, _ = market
        link.OnTimedBarsResolved(window("EPZ26", 1), None)
        assert link.subscribe_bars_data[EPZ26] == []
        assert link.get_subscribe_bars_data(EPZ26) is None
        link.OnTimedBarsResolved(window("EPZ26", 3), None)
        assert len(link.subscribe_bars_data[EPZ26]) == 2


class TestRolling:
    def test_newer_bar_replaces_the_oldest_with_the_printed_line(self, market, capsys):
        link, _, _ = market
        bars = window("EPZ26", 4)
        link.OnTimedBarsResolved(bars, None)
        bars.items.insert(3, CQGBar(stamp(3, 59, 999), close=9.0))  # closed at Count - 2
        link.OnTimedBarsAdded(bars)
        kept = link.subscribe_bars_data[EPZ26]
        assert [b.datetime for b in kept] == [naive(1), naive(2), naive(3, 59)]
        assert capsys.readouterr().out == f"[2] OnTimedBarsAdded: {kept[-1]}\n"

    def test_same_time_bar_is_ignored(self, market, capsys):
        link, _, _ = market
        bars = window("EPZ26", 3)
        link.OnTimedBarsResolved(bars, None)
        before = list(link.subscribe_bars_data[EPZ26])
        bars.items.insert(2, CQGBar(stamp(1, 0, 800), close=99.0))  # same whole second
        link.OnTimedBarsAdded(bars)
        assert link.subscribe_bars_data[EPZ26] == before and capsys.readouterr().out == ""

    def test_empty_window_takes_the_new_bar(self, market):
        link, _, _ = market
        bars = window("EPZ26", 1)
        link.OnTimedBarsResolved(bars, None)
        bars.items.insert(0, CQGBar(stamp(7)))
        link.OnTimedBarsAdded(bars)
        assert [b.datetime for b in link.subscribe_bars_data[EPZ26]] == [naive(7)]

    def test_a_window_not_followed_and_a_short_answer_are_ignored(self, market, capsys):
        link, _, _ = market
        link.OnTimedBarsAdded(window("EPZ26", 1))  # fewer than two bars: nothing to read
        # Never resolved, or unsubscribed with its bars still queued: no window to roll.
        link.OnTimedBarsAdded(window("EPZ26", 3))
        assert link.subscribe_bars_data == {} and capsys.readouterr() == ("", "")
        link.subscribe_bars_data[EPZ26] = None
        with pytest.raises(AssertionError,
                           match="We should have initiated data in OnTimedBarsResolved first!"):
            link.OnTimedBarsAdded(window("EPZ26", 3))

    def test_updates_and_removals_are_ignored(self, market):
        link, _, _ = market
        assert link.OnTimedBarsUpdated(None, 0) is None and link.OnTimedBarsRemoved(None, 0) is None


class TestHandingOut:
    def test_gaps_are_filled_forward_then_backward(self, market, gatelink):
        link, _, _ = market
        bars = stored_bars(gatelink, [INVALID, 5, INVALID, 7])
        link.subscribe_bars_data[EPZ26] = bars
        assert link.get_subscribe_bars_data(EPZ26) is bars
        assert [b.close for b in bars] == [5, 5, 5, 7]

    def test_fields_are_repaired_each_on_its_own(self, market, gatelink):
        link, _, _ = market
        bars = stored_bars(gatelink, [INVALID, 3.5, INVALID], field="volume")
        bars[1].open = INVALID
        link.subscribe_bars_data[EPZ26] = bars
        link.get_subscribe_bars_data(EPZ26)
        assert [b.volume for b in bars] == [3.5, 3.5, 3.5] and [b.open for b in bars] == [1, 1, 1]

    def test_newest_bar_still_invalid_raises_and_keeps_the_repairs(self, market, gatelink):
        link, _, _ = market
        bars = stored_bars(gatelink, [INVALID, INVALID, INVALID], field="high")
        bars[0].low = 3
        bars[1].low = bars[2].low = INVALID  # filled along the run from the oldest
        link.subscribe_bars_data[EPZ26] = bars
        with pytest.raises(ValueError) as raised:
            link.get_subscribe_bars_data(EPZ26)
        assert str(raised.value) == f"The latest bar is INVALID: {bars[2]}."
        assert bars[2].low == 3 and bars[2].high == INVALID

    def test_no_window_or_an_empty_one_is_none(self, market):
        link, _, _ = market
        assert link.get_subscribe_bars_data(NQZ26) is None
        link.subscribe_bars_data[NQZ26] = []
        assert link.get_subscribe_bars_data(NQZ26) is None


class TestUnsubscribe:
    def test_removes_the_request_and_forgets_the_window(self, market, trace):
        link, cel, _ = market
        timed = TimedBars("EPZ26")
        cel.AllTimedBars.items = [TimedBars("NQZ26"), timed]
        link.subscribe_bars_data[EPZ26] = ["bars"]
        link.eventBarDone.set()
        assert link.unsubscribe_bar("EPZ26") is None
        assert cel.calls == [("RemoveTimedBars", timed)] and link.subscribe_bars_data == {}
        assert not link.eventBarDone.is_set()
        assert trace == ["Successfully unsubscribe timedbar for EPZ26"]
        link.unsubscribe_bar("EPZ26")  # found again, no window left: still quiet
        link.unsubscribe_bar("CLEF27")
        assert len(cel.calls) == 2

    def test_errors_are_reported_by_safe_call_not_raised(self, market, capsys):
        link, cel, _ = market
        link.comBridge = None
        assert link.unsubscribe_bar("EPZ26") is None
        assert link.unsubscribe_bar(42) is None
        err = capsys.readouterr().err
        assert "AttributeError" in err and "Argument 'cqg_symbol' has incorrect type" in err


def test_dump_bar_writes_one_line(market, trace):
    link, _, _ = market
    bar = CQGBar(stamp(5), open=1.0, high=2.0, low=0.5, close=1.5, volume=10)
    assert link.dumpBar(bar, 4) is None
    assert trace == [f"Bar index: 4 Timestamp {stamp(5)} Open 1.0 High 2.0 Low 0.5 Close 1.5 "
                     "ActualVolumeFractional 10.0 CommodityVolumeFractional 0.0 "
                     "ContractVolumeFractional 10.0 TickVolume 3"]
