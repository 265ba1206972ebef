"""The market handlers with a recorder attached to the framework gateway: what they hand it
(each quote, tick and bar as CQG gave it), that no member is read twice for it, that the
gateway's own records and failures stay as they are without it, and that a member only the
recording reads cannot break the gateway's handling."""
import collections
import dataclasses

import pytest
from win32com.client import constants

from market_fakes import (EPZ26, INVALID, CQGBar, CQGQuote, Collection, Instrument, Tick,
                          TimedBars, naive, stamp)


class Recorder:
    """What the handlers look for: the columns of each kind and the server-time switch."""

    def __init__(self):
        self.quotes, self.ticks, self.bars = (tuple([] for _ in range(n)) for n in (7, 6, 10))
        self.quote_server_time = True


def rows(columns):
    lengths = {len(column) for column in columns}
    assert len(lengths) == 1  # every column holds every row
    return list(zip(*columns))


class ReadLog:
    """Logs every read of a CQG member (a capitalised or `price` attribute)."""

    def __getattribute__(self, name):
        if name[0].isupper() or name == "price":
            object.__getattribute__(self, "reads").append(name)
        return object.__getattribute__(self, name)


class LoggedQuote(ReadLog, CQGQuote):
    def __init__(self, *args, volume=None, server_time=None, **kwargs):
        object.__setattr__(self, "reads", [])
        super().__init__(*args, **kwargs)
        if volume is not None:
            self.Volume = volume
        if server_time is not None:
            self.ServerTimestamp = server_time


class LoggedInstrument(ReadLog, Instrument):
    def __init__(self, full_name):
        object.__setattr__(self, "reads", [])
        super().__init__(full_name)


class FailingQuote(CQGQuote):
    """A quote whose members past IsValid fail, as a broken COM object's would."""

    def __getattribute__(self, name):
        if name in ("Type", "price", "Price", "Volume"):
            raise RuntimeError(f"{name} cannot be read")
        return object.__getattribute__(self, name)


def changed(link, instrument, *quotes):
    link.OnInstrumentChanged(instrument, Collection(quotes), Collection())


def fresh_quotes():
    return [LoggedQuote("qtBid", 5000.25, volume=3),
            LoggedQuote("qtSettlement", 4990.0, volume=0),
            LoggedQuote("qtAsk", 5000.5, valid=False, volume=7),
            LoggedQuote("qtAsk", 5000.75, volume=1)]


class TestQuotes:
    def test_every_quote_is_handed_over_once_and_read_once(self, market):
        link, cel, gateway = market
        gateway.market_recorder = recorder = Recorder()
        instrument = LoggedInstrument("F.US.EPZ26")
        quotes = fresh_quotes()
        changed(link, instrument, *quotes)

        assert instrument.reads == ["FullName"]  # once per event, not once per quote
        for quote in quotes:
            counts = collections.Counter(quote.reads)
            assert max(counts.values()) == 1, quote.reads
        recorded = rows(recorder.quotes)
        assert [row[2:] for row in recorded] == [
            ("F.US.EPZ26", constants.qtBid, 5000.25, 3, True),
            ("F.US.EPZ26", constants.qtSettlement, 4990.0, 0, True),
            ("F.US.EPZ26", constants.qtAsk, 5000.5, 7, False),
            ("F.US.EPZ26", constants.qtAsk, 5000.75, 1, True)]
        # One received time per event; these quotes have no ServerTimestamp, which the
        # first of them tells the recorder, so the others are not asked.
        assert len({row[0] for row in recorded}) == 1 and isinstance(recorded[0][0], int)
        assert [row[1] for row in recorded] == [None] * 4
        assert recorder.quote_server_time is False
        assert "ServerTimestamp" not in quotes[1].reads

        changed(link, instrument, LoggedQuote("qtTrade", 5000.5))
        assert rows(recorder.quotes)[-1][0] > recorded[0][0]  # a later event, a later time

    def test_the_server_time_is_taken_where_quotes_have_one(self, market):
        link, cel, gateway = market
        gateway.market_recorder = recorder = Recorder()
        changed(link, Instrument("F.US.EPZ26"), LoggedQuote("qtBid", 1.0, server_time=stamp(1)))
        assert rows(recorder.quotes)[0][1] == stamp(1)
        assert recorder.quote_server_time is True

    def test_the_gateway_publishes_the_same_records_with_and_without_a_recorder(self, market):
        link, cel, gateway = market
        changed(link, LoggedInstrument("F.US.EPZ26"), *fresh_quotes(),
                LoggedQuote("qtTrade", 5001.0))
        without = list(gateway.quotes)
        gateway.quotes.clear()
        gateway.cqg_quotes[EPZ26] = None
        gateway.market_recorder = Recorder()
        changed(link, LoggedInstrument("F.US.EPZ26"), *fresh_quotes(),
                LoggedQuote("qtTrade", 5001.0))
        strip = [dataclasses.replace(q, datetime=None) for q in without]
        assert [dataclasses.replace(q, datetime=None) for q in gateway.quotes] == strip
        assert len(without) == 2 and len(rows(gateway.market_recorder.quotes)) == 5

    def test_no_recorder_and_a_detached_one_cost_no_reads(self, market):
        link, cel, gateway = market
        quote = LoggedQuote("qtBid", 5000.25, volume=3)
        changed(link, LoggedInstrument("F.US.EPZ26"), quote)
        gateway.market_recorder = None
        quote_after = LoggedQuote("qtBid", 5000.25, volume=3)
        changed(link, LoggedInstrument("F.US.EPZ26"), quote_after)
        assert "Volume" not in quote.reads and quote_after.reads == quote.reads

    def test_a_member_only_the_recording_reads_cannot_break_the_handling(self, market):
        link, cel, gateway = market
        gateway.market_recorder = recorder = Recorder()
        # An invalid quote the gateway skips: its failing reads are recorded as None.
        changed(link, Instrument("F.US.EPZ26"), FailingQuote("qtBid", 1.0, valid=False),
                CQGQuote("qtTrade", 5000.5))
        assert rows(recorder.quotes)[0][2:] == ("F.US.EPZ26", None, None, None, False)
        assert rows(recorder.quotes)[1][3:5] == (constants.qtTrade, 5000.5)
        assert [q.last_price for q in gateway.quotes] == [5000.5]

    def test_a_failure_the_gateway_meets_is_its_own_as_before(self, market):
        link, cel, gateway = market
        gateway.market_recorder = recorder = Recorder()
        with pytest.raises(RuntimeError, match="Type cannot be read"):
            changed(link, Instrument("F.US.EPZ26"), FailingQuote("qtBid", 1.0),
                    CQGQuote("qtTrade", 5000.5))
        with pytest.raises(KeyError):  # an unknown quote type still ends the event
            changed(link, Instrument("F.US.EPZ26"), CQGQuote(-7, 1.0),
                    CQGQuote("qtTrade", 5000.5))
        # Each quote reached the recorder before the gateway failed on it; none after it.
        assert [row[3] for row in rows(recorder.quotes)] == [None, -7]
        assert gateway.quotes == []

    def test_a_recorder_whose_members_are_no_instance_attributes_still_records(self, market):
        # The handler takes a Recorder's members from its instance dict; any other kind of
        # attribute is read as such.
        class Columns:
            lists = tuple([] for _ in range(7))

            @property
            def quotes(self):
                return self.lists

            quote_server_time = True  # a class attribute, cleared on the instance

        link, cel, gateway = market
        gateway.market_recorder = recorder = Columns()
        changed(link, Instrument("F.US.EPZ26"), LoggedQuote("qtBid", 1.0, volume=2),
                LoggedQuote("qtAsk", 1.25))
        assert [row[2:] for row in rows(recorder.quotes)] == [
            ("F.US.EPZ26", constants.qtBid, 1.0, 2, True),
            ("F.US.EPZ26", constants.qtAsk, 1.25, None, True)]
        assert recorder.__dict__["quote_server_time"] is False

    def test_a_recorder_without_its_lists_is_refused(self, market):
        link, cel, gateway = market
        gateway.market_recorder = Recorder()
        gateway.market_recorder.quotes = gateway.market_recorder.quotes[:6]
        with pytest.raises(TypeError, match="quotes must be a tuple of 7 lists"):
            changed(link, Instrument("F.US.EPZ26"), CQGQuote("qtTrade", 5000.5))


class LoggedTick(ReadLog, Tick):
    def __init__(self, *args, when=None):
        object.__setattr__(self, "reads", [])
        super().__init__(*args)
        if when is not None:
            self.Timestamp = when


class TestTicks:
    def test_each_added_tick_is_handed_over_with_its_time_and_read_once(self, market):
        from market_fakes import Ticks
        link, cel, gateway = market
        gateway.market_recorder = recorder = Recorder()
        ticks = Ticks("EPZ26", [Tick("tptBid", 1.0, 1)])
        new = [LoggedTick("tptAsk", 5000.5, 4, when=stamp(1)), LoggedTick("tptTrade", 5000.25, 2),
               LoggedTick("tptBid", 5000.25, 6, when=stamp(2))]
        ticks.items.extend(new)
        link.OnTicksAdded(ticks, len(new))
        assert [row[1:] for row in rows(recorder.ticks)] == [
            (stamp(1), "EPZ26", constants.tptAsk, 5000.5, 4),
            (None, "EPZ26", constants.tptTrade, 5000.25, 2),
            (stamp(2), "EPZ26", constants.tptBid, 5000.25, 6)]
        for tick in new:
            assert max(collections.Counter(tick.reads).values()) == 1, tick.reads
        assert len(gateway.orderbooks) == 1  # the bid completed the book, as without recording


class TestBars:
    def test_resolution_added_and_updated_bars_are_handed_over(self, market):
        link, cel, gateway = market
        gateway.market_recorder = recorder = Recorder()
        bars = TimedBars("EPZ26", [CQGBar(stamp(m), close=1.0 + m) for m in range(3)])
        link.OnTimedBarsResolved(bars, None)
        assert [(row[1], row[3], row[7]) for row in rows(recorder.bars)] == [
            ("resolved", stamp(0), 1.0), ("resolved", stamp(1), 2.0), ("resolved", stamp(2), 3.0)]
        assert rows(recorder.bars)[0][2] == "EPZ26" and rows(recorder.bars)[0][8:] == (10, 3)

        bars.items.append(CQGBar(stamp(3), low=INVALID))
        link.OnTimedBarsAdded(bars)
        assert [(row[1], row[3]) for row in rows(recorder.bars)[3:]] == [("added", stamp(2)),
                                                                   ("added", stamp(3))]
        assert rows(recorder.bars)[4][6] == INVALID  # as CQG gave it; the file marks it missing
        assert [b.close for b in link.subscribe_bars_data[EPZ26]] == [2.0, 3.0]

        bars.items[3] = CQGBar(stamp(3), close=9.0)
        link.OnTimedBarsUpdated(bars, 3)
        assert rows(recorder.bars)[5][1] == "updated" and rows(recorder.bars)[5][7] == 9.0

    def test_an_update_that_cannot_be_read_is_left_out_quietly(self, market):
        link, cel, gateway = market
        gateway.market_recorder = recorder = Recorder()
        link.OnTimedBarsUpdated(TimedBars("EPZ26", []), 5)
        link.OnTimedBarsUpdated(object(), 0)
        assert rows(recorder.bars) == []
        del gateway.market_recorder
        link.OnTimedBarsUpdated(object(), 0)  # and without a recorder nothing is read at all



LEAVING_RECORDER = """
import pathlib, sys
sys.path.insert(0, str(pathlib.Path(sys.argv[1])))
import win32com.client
win32com.client.Dispatch = lambda obj: obj
from corvane.gateways.cqg.wrapper import gatelink
from market_fakes import Collection, CQGQuote, Instrument, MarketCEL, MarketGateway

gateway = MarketGateway(MarketCEL())
link = gatelink.GATELINK()
link.Init(gateway)


class Leaving:
    quote_server_time = False
    columns = tuple([] for _ in range(7))

    @property
    def quotes(self):
        del gateway.market_recorder  # the last reference but the handler's own
        return self.columns


gateway.market_recorder = Leaving()
link.OnInstrumentChanged(Instrument("F.US.EPZ26"), Collection([CQGQuote("qtTrade", 5000.5)]),
                         Collection())
print([q.last_price for q in gateway.quotes], len(Leaving.columns[0]))
"""


def test_a_recorder_that_detaches_itself_while_read_is_held_safely():
    # In a child process: a handler that used the recorder without owning it would crash.
    import pathlib
    import subprocess
    import sys
    here = pathlib.Path(__file__).resolve().parent
    run = subprocess.run([sys.executable, "-c", LEAVING_RECORDER, str(here)],
                         capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.split("\n")[-2] == "[5000.5] 1"


class TestPackedQuotes:
    """With a corvane.recording.Recorder, plain quotes are packed as native rows; what the
    file holds must be what the lists alone would have given, in the order CQG gave it."""

    def session(self, link, recorder, gateway):
        from decimal import Decimal

        class FlushingQuote(LoggedQuote):
            """The writer takes what is there while the handler is between two quotes."""

            @property
            def Volume(self):
                recorder.flush()
                return Decimal("2")

        gateway.market_recorder = recorder
        changed(link, Instrument("F.US.EPZ26"),
                LoggedQuote("qtBid", 5000.25, volume=3, server_time=stamp(1)),  # a server time
                LoggedQuote("qtAsk", 5000.5),                          # no volume
                FlushingQuote("qtTrade", 5000.75),                     # a Decimal volume
                LoggedQuote("qtBid", 5000.0, valid=False, volume=1.5))
        changed(link, Instrument("F.US.EPZ26"),
                LoggedQuote("qtTrade", 5001.0, volume=10 ** 20),  # no double holds it exactly
                LoggedQuote("qtBid", 4999.75, volume=7),
                LoggedQuote(-7, 1.0))  # an unknown type: recorded, then the gateway fails

    def server_times(self, link, recorder):
        import datetime as dt

        class Zone(dt.tzinfo):
            """A time zone of Python code, as pywin32's is."""

            def __init__(self, offset):
                self.offset = offset

            def utcoffset(self, when):
                return self.offset

        class Stamp(dt.datetime):
            """A datetime subclass, as pywin32's time stamps are."""

        recorder.quote_server_time = True
        times = [naive(5, 1), stamp(5, 2).astimezone(dt.timezone(dt.timedelta(hours=2))),
                 Stamp(2026, 3, 2, 9, 5, 3, 500, tzinfo=Zone(dt.timedelta(0))),
                 dt.datetime(2026, 3, 2, 9, 5, 4, tzinfo=Zone(dt.timedelta(microseconds=-5))),
                 dt.datetime(1969, 12, 31, 23, 59, 59, 999999)]
        changed(link, Instrument("F.US.EPZ26"),
                *(LoggedQuote("qtBid", 5000.0 + n, server_time=t) for n, t in enumerate(times)))

    def rows(self, folder):
        import pyarrow.parquet as pq
        return pq.read_table(str(folder / "quotes")).to_pylist()

    def test_the_file_holds_what_the_lists_alone_give(self, market, tmp_path):
        from corvane.recording import Recorder as FileRecorder

        class Unpacked(bytearray):
            """Not a bytearray to the handler: it appends every quote to the lists."""

        link, cel, gateway = market
        runs = []
        for name, packed in (("packed", True), ("lists", False)):
            recorder = FileRecorder(tmp_path / name)
            if not packed:
                recorder.packed_quotes = Unpacked()
            recorder.attach(gateway)
            with pytest.raises(KeyError):
                self.session(link, recorder, gateway)
            self.server_times(link, recorder)
            runs.append((recorder.pending("quotes"), len(recorder.quotes[0])))
            recorder.close()
            assert recorder.counts["quotes"] == 12
        # The flush in the middle took two; the Decimal, the huge volume and the offset of a
        # fraction of a second are in the lists.
        assert runs == [(10, 3), (10, 10)]

        packed, listed = self.rows(tmp_path / "packed"), self.rows(tmp_path / "lists")
        received = [row.pop("received") for row in packed]
        assert received == sorted(received) and len(set(received)) == 3
        for row in listed:
            del row["received"]
        assert packed == listed
        assert [(row["quote_type"], row["price"], row["volume"], row["is_valid"])
                for row in packed] == [
            ("qtBid", 5000.25, 3.0, True), ("qtAsk", 5000.5, None, True),
            ("qtTrade", 5000.75, 2.0, True), ("qtBid", 5000.0, 1.5, False),
            ("qtTrade", 5001.0, 1e20, True), ("qtBid", 4999.75, 7.0, True),
            (None, 1.0, None, True)] + [("qtBid", 5000.0 + n, None, True) for n in range(5)]
        assert packed[0]["server_time"] == stamp(1) and packed[1]["server_time"] is None
        # (The offset of a fraction of a second is pyarrow's to take, as the lists give it.)
        assert [row["server_time"].isoformat() for row in packed[7:10] + packed[11:]] == [
            "2026-03-02T09:05:01+00:00", "2026-03-02T09:05:02.250000+00:00",
            "2026-03-02T09:05:03.000500+00:00", "1969-12-31T23:59:59.999999+00:00"]

    def test_a_recorder_whose_rows_are_held_or_spoilt_fails_with_an_exception(self, market,
                                                                              tmp_path):
        from corvane.recording import Recorder as FileRecorder

        link, cel, gateway = market
        recorder = FileRecorder(tmp_path / "session.rec").attach(gateway)
        view = memoryview(recorder.packed_quotes)  # the rows cannot grow while it is held
        with pytest.raises(BufferError):
            changed(link, Instrument("F.US.EPZ26"), CQGQuote("qtTrade", 5000.5))
        assert recorder.pending("quotes") == 0  # nothing half recorded
        view.release()
        recorder.quote_names["F.US.EPZ26"] = "not a code"  # the quote goes to the lists
        changed(link, Instrument("F.US.EPZ26"), CQGQuote("qtTrade", 5000.5))
        assert recorder.pending("quotes") == 1 and len(recorder.quotes[0]) == 1
        recorder.quote_names["F.US.EPZ26"] = 1000  # a code no name stands for
        changed(link, Instrument("F.US.EPZ26"), CQGQuote("qtTrade", 5001.0))
        with pytest.raises(RuntimeError, match="recording to .* failed"):
            recorder.close()
