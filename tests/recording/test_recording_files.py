"""The recording folder written from the rows the handlers append, read back as replay
events and by pandas; refused versions, cut recordings, and a trader's CSV history."""
import datetime
import json
import math
import os

import pandas as pd
import pytest

import corvane.gateways.cqg.wrapper.ComBridge  # noqa: F401  (loads the CQG constants)
from corvane.recording import FORMAT_VERSION, Recorder, open_recording, read_csv_history
from win32com.client import constants

UTC = datetime.timezone.utc
T0 = 1_796_826_600_000_000_000  # 2026-12-09 14:30:00 UTC


class Link:
    """Stands for a framework gateway: the recorder only sets and removes an attribute."""


def at(seconds):
    return datetime.datetime.fromtimestamp(T0 / 1e9 + seconds, UTC)


def append(columns, *rows):
    """As the handlers append rows: each value to its column."""
    for row in rows:
        for column, value in zip(columns, row, strict=True):
            column.append(value)


def record(folder, quotes=(), ticks=(), bars=(), flush_interval=1.0):
    link = Link()
    recorder = Recorder(folder, flush_interval=flush_interval).attach(link)
    assert link.market_recorder is recorder
    for columns, rows in ((recorder.quotes, quotes), (recorder.ticks, ticks),
                          (recorder.bars, bars)):
        append(columns, *rows)
    recorder.close()
    assert not hasattr(link, "market_recorder")
    return recorder


def test_events_come_back_in_received_order_with_names_not_values(tmp_path):
    folder = tmp_path / "session.rec"
    record(folder,
           quotes=[(T0 + 1, None, "F.US.EPZ26", constants.qtBid, 5000.25, 3, True),
                   (T0 + 1, at(0.5), "F.US.EPZ26", constants.qtTodayMarker, 5000.5, None, False),
                   (T0 + 4, None, "F.US.CLEF27", constants.qtTrade, 69.82, 1, True)],
           ticks=[(T0 + 2, at(1), "EPZ26", constants.tptAsk, 5000.5, 7)],
           bars=[(T0 + 3, "added", "EPZ26", at(-60), 1.0, 2.0, -2147483648, 1.5, 10, 3)])
    recording = open_recording(folder)
    assert not recording.cut
    assert recording.meta["format_version"] == FORMAT_VERSION
    assert recording.meta["started"] <= recording.meta["ended"]
    # A tick or bar symbol a quoted full name already covers is not listed twice.
    assert recording.meta["instruments"] == ["F.US.EPZ26", "F.US.CLEF27"]
    events = list(recording.events())
    assert events[0] == ("quote", T0 + 1, "F.US.EPZ26", "qtBid", 5000.25, 3.0, True)
    # The server's stamp is the event's time where CQG gave one; the marker types keep
    # their own names although both name "Marker price".
    assert events[1] == ("quote", T0 + 500_000_000, "F.US.EPZ26", "qtTodayMarker", 5000.5,
                         None, False)
    # Ticks and bars name the request's symbol, replayed as the quoted full name.
    assert events[2] == ("tick", T0 + 1_000_000_000, "F.US.EPZ26", "tptAsk", 5000.5, 7.0)
    kind, time_ns, symbol, start, open_, high, low, close, volume, ticks = events[3]
    assert (kind, time_ns, symbol, start) == ("bar", T0 + 3, "F.US.EPZ26", T0 - 60_000_000_000)
    assert (open_, high, close, volume, ticks) == (1.0, 2.0, 1.5, 10.0, 3.0)
    assert math.isnan(low)  # CQG's missing value
    assert events[4][:3] == ("quote", T0 + 4, "F.US.CLEF27")
    assert len(events) == 5


def test_pandas_reads_each_kind_in_one_call(tmp_path):
    folder = tmp_path / "session.rec"
    record(folder, quotes=[(T0 + i, None, "F.US.EPZ26", constants.qtAsk, 5000 + i / 4, i, True)
                           for i in range(100)])
    frame = pd.read_parquet(folder / "quotes")
    assert len(frame) == 100
    assert list(frame["quote_type"].unique()) == ["qtAsk"]
    assert frame["received"].iloc[99] == pd.Timestamp(T0 + 99, tz="UTC")
    assert frame["price"].iloc[99] == 5000 + 99 / 4
    assert len(open_recording(folder).frame("ticks")) == 0


def test_a_type_unknown_when_recorded_is_kept_in_the_file_but_not_replayed(tmp_path):
    folder = tmp_path / "session.rec"
    values = [999, constants.qtBid, 998, constants.qtAsk, 999, constants.qtBid]
    record(folder,
           quotes=[(T0 + i, None, "F.US.EPZ26", value, 1.0 + i, None, True)
                   for i, value in enumerate(values)],
           ticks=[(T0 + 10, None, "EPZ26", 77, 1.0, 1), (T0 + 11, None, "EPZ26", constants.tptBid,
                                                          2.0, 1)])
    frame = pd.read_parquet(folder / "quotes")
    assert frame["quote_type_value"].tolist() == values
    # Each row keeps its own type's name, whatever order the known and unknown ones come in.
    names = [None if pd.isna(name) else name for name in frame["quote_type"]]
    assert names == [None, "qtBid", None, "qtAsk", None, "qtBid"]
    events = list(open_recording(folder).events())
    assert [(event[3], event[4]) for event in events] == [
        ("qtBid", 2.0), ("qtAsk", 4.0), ("qtBid", 6.0), ("tptBid", 2.0)]


def test_values_pyarrow_refuses_as_they_are_are_converted(tmp_path):
    from decimal import Decimal
    folder = tmp_path / "session.rec"
    record(folder, quotes=[(T0, None, "F.US.EPZ26", constants.qtBid, Decimal("5000.25"), 2,
                            True)])
    assert list(open_recording(folder).events())[0][4:6] == (5000.25, 2.0)


def test_a_recording_whose_process_ended_unclosed_is_cut_and_reads_its_parts(tmp_path):
    folder = tmp_path / "session.rec"
    link = Link()
    recorder = Recorder(folder).attach(link)
    append(recorder.quotes, (T0, None, "F.US.EPZ26", constants.qtBid, 1.0, None, True))
    recorder.flush()
    append(recorder.quotes, (T0 + 1, None, "F.US.EPZ26", constants.qtAsk, 2.0, None, True))
    # What the writing thread was in the middle of when the process died.
    (folder / "quotes" / ".part-000001.parquet").write_bytes(b"PAR1 half written")
    recording = open_recording(folder)
    assert recording.cut and recording.meta["ended"] is None
    assert [event[3] for event in recording.events()] == ["qtBid"]
    assert len(pd.read_parquet(folder / "quotes")) == 1
    recorder.close()


@pytest.mark.parametrize("meta, message", [
    ({"format_version": 2, "started": 0, "ended": 0, "instruments": []},
     "format version 2; this reader reads format version 1"),
    ({"started": 0}, "format version None"),
    ("[1, 2", "damaged"),
])
def test_a_folder_of_another_version_or_a_damaged_meta_is_refused_clearly(tmp_path, meta,
                                                                         message):
    folder = tmp_path / "session.rec"
    folder.mkdir()
    (folder / "meta.json").write_text(meta if isinstance(meta, str) else json.dumps(meta))
    with pytest.raises(ValueError, match=message):
        open_recording(folder)


def test_what_is_not_a_recording_is_refused(tmp_path):
    with pytest.raises(FileNotFoundError):
        open_recording(tmp_path / "absent")
    (tmp_path / "file.rec").write_text("x")
    with pytest.raises(ValueError, match="a recording is a folder"):
        open_recording(tmp_path / "file.rec")
    with pytest.raises(ValueError, match="has no meta.json"):
        open_recording(tmp_path)


def test_a_recorder_wants_a_folder_of_its_own(tmp_path):
    (tmp_path / "busy").mkdir()
    (tmp_path / "busy" / "other").write_text("x")
    with pytest.raises(FileExistsError):
        Recorder(tmp_path / "busy")
    with pytest.raises(ValueError):
        Recorder(tmp_path / "fresh", flush_interval=0)


def test_a_recorder_is_attached_once(tmp_path):
    recorder = Recorder(tmp_path / "session.rec").attach(Link())
    with pytest.raises(RuntimeError, match="already attached"):
        recorder.attach(Link())
    recorder.close()
    assert not open_recording(tmp_path / "session.rec").cut


def test_a_failing_writer_detaches_and_close_reports_it(tmp_path, monkeypatch, capsys):
    folder = tmp_path / "session.rec"
    link = Link()
    recorder = Recorder(folder, flush_interval=0.01)

    def no_space(kind, rows):
        raise OSError(28, "No space left on device")

    monkeypatch.setattr(recorder, "_write_part", no_space)
    recorder.attach(link)
    append(recorder.quotes, (T0, None, "F.US.EPZ26", constants.qtBid, 1.0, None, True))
    recorder._thread.join(5)
    assert not hasattr(link, "market_recorder")  # nothing more accumulates
    with pytest.raises(RuntimeError, match="No space left"):
        recorder.close()
    assert "recording to" in capsys.readouterr().err
    assert open_recording(folder).cut


def write_csv(tmp_path, text):
    path = tmp_path / "history.csv"
    path.write_text(text)
    return path


def test_csv_history_becomes_quote_events(tmp_path):
    path = write_csv(tmp_path, "time,symbol,kind,price,volume\n"
                               "2026-12-09T14:30:00,EPZ26,bid,5000.25,3\n"
                               "\n"
                               "2026-12-09T14:30:00.5+00:00,EPZ26,ASK,5000.5,\n"
                               f"{T0 + 10**9},F.US.EPZ26,trade,5000.5,1\n"
                               "2026-12-09T15:30:02+01:00,EPZ26,settlement,4999,0\n")
    assert read_csv_history(path) == [
        ("quote", T0, "EPZ26", "qtBid", 5000.25, 3.0, True),
        ("quote", T0 + 500_000_000, "EPZ26", "qtAsk", 5000.5, None, True),
        ("quote", T0 + 10**9, "F.US.EPZ26", "qtTrade", 5000.5, 1.0, True),
        ("quote", T0 + 2 * 10**9, "EPZ26", "qtSettlement", 4999.0, 0.0, True),
    ]


@pytest.mark.parametrize("row, complaint", [
    ("2026-12-09T14:30:01,EPZ26,bid,5000", "expected 5 fields"),
    ("yesterday,EPZ26,bid,5000,1", "time 'yesterday'"),
    ("2026-12-09T14:30:01,,bid,5000,1", "symbol is empty"),
    ("2026-12-09T14:30:01,EPZ26,mid,5000,1", "kind 'mid'"),
    ("2026-12-09T14:30:01,EPZ26,bid,abc,1", "price 'abc' is not a number"),
    ("2026-12-09T14:30:01,EPZ26,bid,nan,1", "not a finite number"),
    ("2026-12-09T14:30:01,EPZ26,bid,5000,-1", "below 0"),
    ("2026-12-09T14:29:59,EPZ26,bid,5000,1", "earlier than the line before"),
])
def test_a_bad_csv_row_is_refused_naming_its_line(tmp_path, row, complaint):
    path = write_csv(tmp_path, "time,symbol,kind,price,volume\n"
                               "2026-12-09T14:30:00,EPZ26,bid,5000.25,3\n\n" + row + "\n")
    with pytest.raises(ValueError, match=f"line 4: .*{complaint}"):
        read_csv_history(path)


def test_a_csv_without_its_header_is_refused(tmp_path):
    with pytest.raises(ValueError, match="line 1: the header"):
        read_csv_history(write_csv(tmp_path, "2026-12-09T14:30:00,EPZ26,bid,5000.25,3\n"))
    with pytest.raises(ValueError, match="line 1"):
        read_csv_history(write_csv(tmp_path, ""))
