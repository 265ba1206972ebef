"""Instruments, quotes, ticks and timed bars, as a gateway reaches them through CQGCEL."""
import datetime
import gc
import time

import pytest

import corvane_emulator as emu
import pythoncom
import pywintypes
import win32com.client
from win32com.client import constants

pytestmark = pytest.mark.timeout(20)

INVALID = -2147483648
DISCONNECTED = -2147417848
QUOTE_TYPES = [
    "qtAsk", "qtBid", "qtCohUndAsk", "qtCohUndBid", "qtDayHigh", "qtDayLow", "qtDayOpen",
    "qtImpliedAsk", "qtImpliedBid", "qtIndicativeOpen", "qtMarker", "qtOutrightAsk",
    "qtOutrightBid", "qtSettlement", "qtTodayMarker", "qtTrade", "qtYesterdaySettlement"]


def wrap(obj):
    return None if obj is None else win32com.client.Dispatch(obj)


class MarketSink:
    """Subscribes every resolved instrument and notes what each event carried."""

    def __init__(self):
        self.seen = []
        self.ticks = None
        self.bars = None

    def OnInstrumentResolved(self, symbol, cqgInstrument, cqgError):
        if cqgError is not None:
            self.seen.append(("resolved", symbol, None, wrap(cqgError).Description))
            return
        instrument = wrap(cqgInstrument)
        instrument.DataSubscriptionLevel = constants.dsQuotesAndBBA
        self.seen.append(("resolved", symbol, instrument.FullName, None))

    def OnInstrumentChanged(self, cqgInstrument, cqgQuotes, cqgProperties):
        quotes = [(q.Type, q.Price, q.IsValid) for q in wrap(cqgQuotes)]
        self.seen.append(("changed", wrap(cqgInstrument).FullName, quotes,
                          len(wrap(cqgProperties))))

    def OnTicksResolved(self, cqgTicks, cqgError):
        self.ticks = wrap(cqgTicks)
        self.seen.append(("ticks resolved", self.ticks.Count,
                          None if cqgError is None else wrap(cqgError).Description))

    def OnTicksAdded(self, cqgTicks, addedTicksCount):
        ticks = wrap(cqgTicks)
        added = [ticks.Item(i) for i in range(ticks.Count - addedTicksCount, ticks.Count)]
        self.seen.append(("ticks added", ticks.Request.Symbol, ticks.Count,
                          [(t.PriceType, t.Price, t.Volume) for t in added]))

    def OnTimedBarsResolved(self, cqgTimedBars, cqgError):
        self.bars = wrap(cqgTimedBars)
        self.seen.append(("bars resolved", self.bars.Count,
                          None if cqgError is None else wrap(cqgError).Description))

    def OnTimedBarsAdded(self, cqgTimedBars):
        bars = wrap(cqgTimedBars)
        closed, forming = bars.Item(bars.Count - 2), bars.Item(bars.Count - 1)
        self.seen.append(("bars added", bars.Count, closed.Close, closed.Timestamp,
                          forming.Timestamp))

    def OnTimedBarsUpdated(self, cqgTimedBars, index):
        bars = wrap(cqgTimedBars)
        self.seen.append(("bars updated", index, bars.Item(index).Close))


@pytest.fixture
def cel(apartment):
    return win32com.client.Dispatch("CQG.CQGCEL.4")


@pytest.fixture
def sink(cel):
    return win32com.client.WithEvents(cel, MarketSink)


def pumped(sink):
    pythoncom.PumpWaitingMessages()
    seen, sink.seen = sink.seen, []
    return seen


def subscribe(cel, sink, symbol="EPZ26"):
    cel.NewInstrument(symbol)
    return pumped(sink)


def quotes_of_one_event(cel, values):
    """The quotes collection of the InstrumentChanged that pushing `values` to EPZ26 fires,
    kept by the handler past the event."""
    kept = []

    class Keeping(MarketSink):
        def OnInstrumentChanged(self, cqgInstrument, cqgQuotes, cqgProperties):
            kept.append(wrap(cqgQuotes))

    keeping = win32com.client.WithEvents(cel, Keeping)
    subscribe(cel, keeping)
    emu.push_quotes("EPZ26", values)
    pumped(keeping)
    keeping.close()  # its class holds `kept`: let go of with the rest before the apartment
    [quotes] = kept
    return quotes


def request_bars(cel, symbol="EPZ26", range_end=-11, updates=True):
    request = cel.CreateTimedBarsRequest()
    request.Symbol = symbol
    request.RangeStart = 0
    request.RangeEnd = range_end
    request.UpdatesEnabled = updates
    cel.RequestTimedBars(request)


def request_ticks(cel, symbol="EPZ26"):
    request = cel.CreateTicksRequest()
    request.Symbol = symbol
    cel.RequestTicks(request)


class TestInstruments:
    def test_resolution_by_containment_unknown_and_never(self, cel, sink):
        assert subscribe(cel, sink, "ENQ") == [("resolved", "ENQ", "F.US.ENQZ26", None)]
        # "Z26" is in two full names: the first instrument of the scenario wins.
        assert subscribe(cel, sink, "Z26") == [("resolved", "Z26", "F.US.EPZ26", None)]
        assert subscribe(cel, sink, "ZZZ") == [("resolved", "ZZZ", None, "Unknown symbol 'ZZZ'")]
        emu.fail_next_resolution("instrument", "never")
        assert subscribe(cel, sink, "CLE") == []
        emu.fail_next_resolution("instrument", "error")
        assert subscribe(cel, sink, "CLE")[0][2] is None
        assert subscribe(cel, sink, "CLE")[0][2] == "F.US.CLEF27"  # the fault was used up
        assert [i.FullName for i in cel.Instruments] == ["F.US.ENQZ26", "F.US.EPZ26",
                                                         "F.US.CLEF27"]

    def test_resolving_twice_keeps_one_instrument(self, cel, sink):
        subscribe(cel, sink, "EPZ26")
        subscribe(cel, sink, "EP")
        assert len(cel.Instruments) == 1
        assert cel.Instruments.Item("F.US.EPZ26").FullName == "F.US.EPZ26"

    def test_scenario_instruments_replace_the_defaults(self, cel, sink):
        emu.load_scenario(instruments=[{"full_name": "F.US.ZNH27", "price": 110.5,
                                        "tick_size": 0.015625}])
        cel = win32com.client.Dispatch("CQG.CQGCEL.4")
        sink = win32com.client.WithEvents(cel, MarketSink)
        assert subscribe(cel, sink, "EP")[0][2] is None
        assert subscribe(cel, sink, "ZN")[0][2] == "F.US.ZNH27"

    @pytest.mark.parametrize("instruments, error", [
        ([{"full_name": "F.US.X", "price": 0.0}], ValueError),
        ([{"full_name": "F.US.X", "price": 1.0, "size": 1}], ValueError),
        ([{"full_name": "F.US.X", "price": 1.0}] * 2, ValueError),
        (["F.US.X"], TypeError),
    ])
    def test_malformed_instruments_are_refused(self, instruments, error):
        with pytest.raises(error):
            emu.load_scenario(instruments=instruments)


class TestQuotes:
    def test_every_quote_type_and_an_unknown_one(self, cel, sink):
        subscribe(cel, sink)
        quotes = [(name, 100.0 + i) for i, name in enumerate(QUOTE_TYPES)] + [(4242, 1.5, False)]
        assert emu.push_quotes("EPZ26", quotes) == 1
        [(kind, name, delivered, properties)] = pumped(sink)
        assert (kind, name, properties) == ("changed", "F.US.EPZ26", 0)
        expected = [(getattr(constants, n), 100.0 + i, True) for i, n in enumerate(QUOTE_TYPES)]
        assert delivered == expected + [(4242, 1.5, False)]

    def test_no_quotes_before_subscription_nor_after_removal(self, cel, apartment):
        class Quiet(MarketSink):
            def OnInstrumentResolved(self, symbol, cqgInstrument, cqgError):
                self.instrument = wrap(cqgInstrument)

        sink = win32com.client.WithEvents(cel, Quiet)
        cel.NewInstrument("EPZ26")
        pumped(sink)
        assert emu.push_quotes("EP", [("qtBid", 1.0)]) == 0  # level still dsNone
        sink.instrument.DataSubscriptionLevel = constants.dsQuotes
        assert emu.push_quotes("EP", [("qtBid", 1.0)]) == 1
        cel.RemoveInstrument(sink.instrument)
        assert emu.push_quotes("EP", [("qtBid", 2.0)]) == 0
        assert [e[2] for e in pumped(sink)] == [[(constants.qtBid, 1.0, True)]]
        assert len(cel.Instruments) == 0
        assert sink.instrument.FullName == "F.US.EPZ26"  # still readable by a late handler

    def test_a_quotes_collection_holds_its_quotes_and_each_loop_asks_for_an_enumerator(
            self, cel, sink):
        quotes = quotes_of_one_event(cel, [("qtBid", 1.0), ("qtAsk", 2.0)])
        first, second = list(quotes), list(quotes)
        assert first == second and first[0] != first[1]
        assert quotes.Item(1) == first[1] and quotes(0) == first[0]
        assert [q.Price for q in second] == [1.0, 2.0]
        emu.fail_property("IEnumVARIANT", "Next", times=1)
        with pytest.raises(pythoncom.com_error):
            list(quotes)
        emu.fail_property("CQGQuotes", "_NewEnum", times=1)
        with pytest.raises(TypeError):
            list(quotes)
        assert len(list(quotes)) == 2

    def test_enumerators_of_one_quotes_collection_walk_it_each_on_its_own(self, cel, sink):
        quotes = quotes_of_one_event(cel, [("qtBid", 1.0), ("qtAsk", 2.0), ("qtTrade", 1.5)])
        first, second = iter(quotes), iter(quotes)  # made before any quote was read
        assert next(first).Price == 1.0
        assert [q.Price for q in second] == [1.0, 2.0, 1.5]
        assert [q.Price for q in first] == [2.0, 1.5]
        assert next(first, None) is None and next(second, None) is None
        assert list(quotes)[2] == quotes.Item(2) and list(quotes)[0] != quotes.Item(2)

    @pytest.mark.lifetime_faults()  # used and let go of after the apartment: reported
    def test_quotes_kept_past_the_apartment_are_disconnected_for_good(self, cel, sink):
        kept = []

        class Keeping(MarketSink):
            def OnInstrumentChanged(self, cqgInstrument, cqgQuotes, cqgProperties):
                quotes = wrap(cqgQuotes)
                kept.extend([quotes, iter(quotes), quotes.Item(0)])

        keeping = win32com.client.WithEvents(cel, Keeping)
        subscribe(cel, keeping)
        emu.push_quotes("EPZ26", [("qtBid", 1.0), ("qtAsk", 2.0)])
        pumped(keeping)
        quotes, enumerator, quote = kept
        assert quote.Price == 1.0 and next(enumerator).Price == 1.0
        pythoncom.CoUninitialize()  # the fixture entered twice
        pythoncom.CoUninitialize()
        pythoncom.CoInitialize()
        for read in (lambda: quotes.Count, lambda: next(enumerator), lambda: quote.Price):
            with pytest.raises(pythoncom.com_error) as raised:
                read()
            assert raised.value.hresult == DISCONNECTED
        with pytest.raises(TypeError):
            list(quotes)
        kept.clear()
        del quotes, enumerator, quote, read
        gc.collect()  # reported here, not in a later test
        pythoncom.CoInitialize()  # for the fixture to leave

    @pytest.mark.parametrize("quote, error", [
        (("qtNope", 1.0), ValueError), (("tptBid", 1.0), ValueError),
        (("qtBid",), ValueError), (("qtBid", "1"), TypeError), (("qtBid", 1.0, 1), TypeError),
    ])
    def test_malformed_quotes_are_refused(self, cel, sink, quote, error):
        subscribe(cel, sink)
        with pytest.raises(error):
            emu.push_quotes("EP", [quote])
        assert pumped(sink) == []


class TestTicks:
    def test_ticks_grow_and_report_what_was_added(self, cel, sink):
        request = cel.CreateTicksRequest()
        request.Symbol = "EPZ26"
        request.Type = constants.trtCurrentNotify
        request.TickFilter = constants.tfAll
        request.SessionsFilter = 31
        request.Limit = 10
        assert request.Limit == 10
        cel.RequestTicks(request)
        assert pumped(sink) == [("ticks resolved", 0, None)]
        # The ticks object is live: a handler sees it as it is when the pump runs the event.
        emu.push_ticks("EP", [("tptBid", 10.0, 3), ("tptAsk", 10.25, 4)])
        assert pumped(sink) == [("ticks added", "EPZ26", 2, [(constants.tptBid, 10.0, 3),
                                                             (constants.tptAsk, 10.25, 4)])]
        emu.push_ticks("EP", [("tptTrade", 10.0, 1), (77, 9.0, 2), ("tptSettlement", 9.5, 0)])
        assert pumped(sink) == [("ticks added", "EPZ26", 5, [
            (constants.tptTrade, 10.0, 1), (77, 9.0, 2), (constants.tptSettlement, 9.5, 0)])]
        ticks = sink.ticks
        assert len(ticks) == 5 and [t.Price for t in ticks] == [10.0, 10.25, 10.0, 9.0, 9.5]
        stamp = ticks.Item(0).Timestamp
        assert isinstance(stamp, pywintypes.TimeType) and stamp.tzinfo is datetime.timezone.utc
        assert emu.property_log() == [
            ("CQGTicksRequest", "Symbol", "EPZ26"),
            ("CQGTicksRequest", "Type", constants.trtCurrentNotify),
            ("CQGTicksRequest", "TickFilter", constants.tfAll),
            ("CQGTicksRequest", "SessionsFilter", 31),
            ("CQGTicksRequest", "Limit", 10)]

    def test_request_sent_is_kept_as_it_was(self, cel, sink):
        request = cel.CreateTicksRequest()
        request.Symbol = "EPZ26"
        cel.RequestTicks(request)
        request.Symbol = "CLE"
        pumped(sink)
        assert [t.Request.Symbol for t in cel.AllTicks] == ["EPZ26"]

    def test_unknown_symbol_fault_and_removal(self, cel, sink):
        request_ticks(cel, "ZZZ")
        emu.fail_next_resolution("ticks", "error")
        request_ticks(cel, "EPZ26")
        emu.fail_next_resolution("ticks", "never")
        request_ticks(cel, "EPZ26")
        seen = pumped(sink)
        assert seen == [("ticks resolved", 0, "Unknown symbol 'ZZZ'"),
                        ("ticks resolved", 0, "Request for 'EPZ26' failed")]
        assert len(cel.AllTicks) == 0
        request_ticks(cel, "EPZ26")
        pumped(sink)
        cel.RemoveTicks(sink.ticks)
        assert len(cel.AllTicks) == 0
        assert emu.push_ticks("EP", [("tptBid", 1.0, 1)]) == 0

    def test_wrong_values_are_refused_by_the_server(self, cel):
        request = cel.CreateTicksRequest()
        with pytest.raises(pythoncom.com_error):
            request.Type = 987654  # no request type
        with pytest.raises(pythoncom.com_error):
            request.Symbol = 5
        with pytest.raises(pythoncom.com_error):
            cel.RequestTicks(cel.CreateTimedBarsRequest())
        assert emu.property_log() == []


class TestTimedBars:
    def test_request_fields_are_recorded_in_order(self, cel, sink):
        request = cel.CreateTimedBarsRequest()
        request.Symbol = "EPZ26"
        request.RangeStart = 0
        request.RangeEnd = -101
        request.IntradayPeriod = constants.pfds1Min
        request.DailyBarClose = constants.dbcLastQuoteOrSettlement
        request.UpdatesEnabled = True
        request.IncludeOutput(constants.tbrContractVolume, True)
        request.IncludeOutput(constants.tbrCommodityVolume, True)
        request.SessionsFilter = "all"
        assert request.SessionsFilter == "all" and request.RangeEnd == -101
        assert emu.property_log() == [
            ("CQGTimedBarsRequest", "Symbol", "EPZ26"),
            ("CQGTimedBarsRequest", "RangeStart", 0),
            ("CQGTimedBarsRequest", "RangeEnd", -101),
            ("CQGTimedBarsRequest", "IntradayPeriod", constants.pfds1Min),
            ("CQGTimedBarsRequest", "DailyBarClose", constants.dbcLastQuoteOrSettlement),
            ("CQGTimedBarsRequest", "UpdatesEnabled", True),
            ("CQGTimedBarsRequest", "SessionsFilter", "all")]
        assert [c for c in emu.call_log() if c[0] == "CQGTimedBarsRequest"] == [
            ("CQGTimedBarsRequest", "IncludeOutput", (constants.tbrContractVolume, True)),
            ("CQGTimedBarsRequest", "IncludeOutput", (constants.tbrCommodityVolume, True))]
        with pytest.raises(pythoncom.com_error):
            request.IncludeOutput(constants.tbrContractVolume)

    @pytest.mark.parametrize("history, range_end, count", [
        (200, -101, 101), (200, -1, 1), (200, 0, 1), (30, -101, 31), (0, -11, 1)])
    def test_window_is_the_lookback_plus_the_forming_bar(self, cel, sink, history, range_end,
                                                         count):
        emu.load_scenario(history_bars=history)
        cel = win32com.client.Dispatch("CQG.CQGCEL.4")
        sink = win32com.client.WithEvents(cel, MarketSink)
        request_bars(cel, range_end=range_end)
        assert pumped(sink) == [("bars resolved", count, None)]
        bars = sink.bars
        stamps = [b.Timestamp for b in bars]
        minute = datetime.datetime.fromtimestamp(emu.clock_now() // 60 * 60,
                                                 datetime.timezone.utc)
        assert stamps[-1] == minute + datetime.timedelta(milliseconds=250)
        assert all(b - a == datetime.timedelta(minutes=1) for a, b in zip(stamps, stamps[1:]))

    def test_closing_bars_by_hand_and_by_the_clock(self, cel, sink):
        emu.set_clock(1767571200.0 + 30)  # half a minute in
        request_bars(cel, range_end=-4)
        pumped(sink)
        forming = sink.bars.Item(3).Timestamp
        assert emu.close_bar("EP", open=1.0, high=3.0, low=0.5, close=2.0, volume=7) == 1
        [(kind, count, close, closed_at, forming_at)] = pumped(sink)
        assert (kind, count, close) == ("bars added", 4, 2.0)
        assert closed_at == forming and forming_at == forming + datetime.timedelta(minutes=1)
        closed = sink.bars.Item(2)
        assert (closed.Open, closed.High, closed.Low, closed.ActualVolume) == (1.0, 3.0, 0.5, 7)
        emu.advance(30)  # the clock reaches the minute the forming bar already belongs to
        assert pumped(sink) == []
        emu.advance(60 * 3)
        added = pumped(sink)
        assert [e[0] for e in added] == ["bars added"] * 3 and added[-1][1] == 4
        stamps = [b.Timestamp for b in sink.bars]
        assert all(b - a == datetime.timedelta(minutes=1) for a, b in zip(stamps, stamps[1:]))

    def test_forming_bar_updates(self, cel, sink):
        request_bars(cel, range_end=-3)
        pumped(sink)
        assert emu.update_forming_bar("EP", 6001.5, volume=12) == 1
        assert pumped(sink) == [("bars updated", 2, 6001.5)]
        forming = sink.bars.Item(2)
        assert forming.High >= 6001.5 and forming.ActualVolume == 12

    def test_history_with_invalid_gaps(self, cel, sink):
        bars = [{"open": 5.0, "high": 6.0, "low": 4.0, "close": INVALID, "volume": 10},
                {"open": INVALID, "high": INVALID, "low": INVALID, "close": INVALID,
                 "volume": INVALID},
                {"open": 7.0, "high": 8.0, "low": 6.5, "close": 7.5, "volume": 3}]
        emu.set_history("EPZ26", bars)
        request_bars(cel, range_end=-4)
        pumped(sink)
        got = [(b.Open, b.High, b.Low, b.Close, b.ActualVolume) for b in sink.bars][:3]
        assert got == [(5.0, 6.0, 4.0, INVALID, 10), (INVALID,) * 5, (7.0, 8.0, 6.5, 7.5, 3)]
        gap = sink.bars.Item(1)
        assert (gap.TickVolume, gap.ContractVolumeFractional) == (INVALID, INVALID)
        assert sink.bars.Item(3).Open == 7.5  # the forming bar opens at the last close

    def test_generated_history_leaves_the_asked_share_invalid(self, cel, sink):
        emu.load_scenario(invalid_fraction=1.0, history_bars=5)
        cel = win32com.client.Dispatch("CQG.CQGCEL.4")
        sink = win32com.client.WithEvents(cel, MarketSink)
        request_bars(cel, range_end=-6)
        pumped(sink)
        assert all(b.Close == INVALID and b.ActualVolume == INVALID
                   for b in list(sink.bars)[:-1])

    def test_same_seed_same_history(self, cel, sink):
        def closes(seed):
            emu.load_scenario(seed=seed)
            fresh = win32com.client.Dispatch("CQG.CQGCEL.4")
            fresh_sink = win32com.client.WithEvents(fresh, MarketSink)
            request_bars(fresh, range_end=-21)
            pumped(fresh_sink)
            return [b.Close for b in fresh_sink.bars]

        assert closes(7) == closes(7) != closes(8)

    def test_removal_unknown_and_faults(self, cel, sink):
        request_bars(cel, symbol="ZZZ")
        emu.fail_next_resolution("bars", "never")
        request_bars(cel)
        assert pumped(sink) == [("bars resolved", 0, "Unknown symbol 'ZZZ'")]
        request_bars(cel)
        pumped(sink)
        assert [b.Request.Symbol for b in cel.AllTimedBars] == ["EPZ26"]
        cel.RemoveTimedBars(sink.bars)
        assert len(cel.AllTimedBars) == 0
        assert emu.close_bar("EP") == 0
        assert pumped(sink) == []

    def test_updates_disabled_get_no_events(self, cel, sink):
        request_bars(cel, updates=False)
        pumped(sink)
        assert emu.close_bar("EP") == 0 and emu.update_forming_bar("EP", 1.0) == 0


class CountingSink(MarketSink):
    def __init__(self):
        super().__init__()
        self.quotes = self.ticks_added = self.updates = self.invalid = 0
        self.types = set()

    def OnInstrumentChanged(self, cqgInstrument, cqgQuotes, cqgProperties):
        for quote in wrap(cqgQuotes):
            self.quotes += 1
            self.types.add(quote.Type)
            self.invalid += not quote.IsValid

    def OnTicksAdded(self, cqgTicks, addedTicksCount):
        self.ticks_added += addedTicksCount

    def OnTimedBarsUpdated(self, cqgTimedBars, index):
        self.updates += 1


class TestLiveMarket:
    @pytest.fixture
    def sink(self, cel):
        sink = win32com.client.WithEvents(cel, CountingSink)
        subscribe(cel, sink, "EP")
        subscribe(cel, sink, "CLE")
        request_ticks(cel, "ENQ")
        request_bars(cel, "EP")
        pumped(sink)
        return sink

    def test_the_rates_hold_as_the_clock_advances(self, cel, sink):
        emu.start_market(1000, ticks_per_second=200, live=False)
        for _ in range(100):
            emu.advance(0.01)
        pythoncom.PumpWaitingMessages()
        stats = emu.market_stats()
        assert 1000 <= stats["quotes"] <= 1002  # an update of two quotes may end past the rate
        assert stats["ticks"] == 200 and stats["batches"] == 100
        assert sink.quotes == stats["quotes"] and sink.ticks_added == 200
        assert sink.updates > 0 and sink.invalid > 0
        assert {constants.qtBid, constants.qtAsk, constants.qtTrade} <= sink.types
        assert sink.types <= {getattr(constants, name) for name in QUOTE_TYPES}
        assert len(sink.ticks) == 200

    def test_bars_close_at_their_own_pace(self, cel, sink):
        emu.start_market(100, ticks_per_second=0, bar_seconds=5, live=False)
        for _ in range(10):
            emu.advance(1.0)
        pythoncom.PumpWaitingMessages()
        assert emu.market_stats()["bars"] == 2
        assert emu.market_stats()["ticks"] == 0

    def test_live_run_posts_and_stops_cleanly(self, cel, sink):
        emu.start_market(5000, ticks_per_second=1000)
        assert emu.is_live()
        while sink.quotes < 2000 or sink.ticks_added < 100:
            pythoncom.PumpWaitingMessages()
        emu.stop_market()
        assert not emu.is_live()
        pythoncom.PumpWaitingMessages()
        posted = emu.market_stats()
        assert sink.quotes == posted["quotes"]
        emu.advance(10)  # the feed is off: the clock alone posts no quotes
        pythoncom.PumpWaitingMessages()
        assert emu.market_stats() == posted and sink.quotes == posted["quotes"]

    def test_live_driver_waits_for_the_pump(self, cel, sink):
        # Nothing pumps: the driver posts its first batch, holds back what falls due and, past
        # a limit, skips it instead of piling batches up in the queue.
        emu.start_market(20000, ticks_per_second=2000)
        deadline = time.monotonic() + 60
        while (0 in (emu.market_stats()["quotes_skipped"], emu.market_stats()["ticks_skipped"])
               and time.monotonic() < deadline):
            time.sleep(0.01)
        stats = emu.market_stats()
        assert stats["batches"] == 1 and stats["quotes_skipped"] > 0
        assert stats["ticks_skipped"] > 0
        # Once the pump has taken the batch, posting resumes.
        while sink.quotes <= stats["quotes"] and time.monotonic() < deadline:
            pythoncom.PumpWaitingMessages()
        emu.stop_market()
        pythoncom.PumpWaitingMessages()
        posted = emu.market_stats()
        assert posted["batches"] > 1 and sink.quotes == posted["quotes"]

    def test_each_event_of_a_batch_carries_its_own_instrument(self, cel, sink):
        # The events of one batch share the arguments of an instrument and of its properties.
        kept = []

        class Keeping(MarketSink):
            def OnInstrumentChanged(self, cqgInstrument, cqgQuotes, cqgProperties):
                kept.append((cqgInstrument, cqgProperties, len(wrap(cqgQuotes))))

        keeping = win32com.client.WithEvents(cel, Keeping)
        emu.start_market(1000, ticks_per_second=0, live=False)
        for _ in range(2):
            emu.advance(0.01)
        pumped(keeping)
        assert emu.market_stats()["batches"] == 2
        assert sum(count for _, _, count in kept) == emu.market_stats()["quotes"]
        names = [wrap(instrument).FullName for instrument, _, _ in kept]
        # The feed takes the streaming instruments in turn.
        assert names[:2] in (["F.US.EPZ26", "F.US.CLEF27"], ["F.US.CLEF27", "F.US.EPZ26"])
        assert all(name == names[i % 2] for i, name in enumerate(names))
        for (instrument, properties, _), name in zip(kept, names):
            assert instrument == kept[names.index(name)][0]
            assert properties == kept[names.index(name)][1]
            assert len(wrap(properties)) == 0
        assert kept[0][1] != kept[1][1]
        keeping.close()

    @pytest.mark.parametrize("args, kwargs", [
        ((-1,), {}), ((10,), {"ticks_per_second": -1}), ((10,), {"bar_seconds": 0.5})])
    def test_bad_rates_are_refused(self, cel, sink, args, kwargs):
        with pytest.raises(ValueError):
            emu.start_market(*args, **kwargs)
        assert not emu.is_live()
