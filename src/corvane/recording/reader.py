"""Reading a recording back: its meta data, and its events in recorded order as the replay
takes them (plain tuples, times in UTC nanoseconds)."""
import heapq
import json
import math
import os

from corvane.recording.layout import FORMAT_VERSION, KINDS, META_FILE, part_files

NAN = math.nan


class Recording:
    """An opened recording. ``meta`` holds ``format_version``, ``started``, ``ended`` (None
    when the recording was cut: its process ended without closing it) and ``instruments``
    (the CQG full names of the quoted instruments, then the symbols of tick and bar requests
    no quoted instrument names). ``cut`` says the recording ends at its last complete part
    rather than at its close."""

    def __init__(self, folder, meta):
        self.folder = folder
        self.meta = meta
        self.cut = meta["ended"] is None

    def __repr__(self):
        state = "cut" if self.cut else "complete"
        return f"<Recording {self.folder!r} {state}, {len(self.meta['instruments'])} instruments>"

    def frame(self, kind):
        """One kind ("quotes", "ticks" or "bars") as a pandas DataFrame."""
        return self._table(kind).to_pandas()

    def events(self):
        """Quotes, ticks and bars in the order the gateway received them:

        ("quote", time_ns, full_name, quote_type, price, volume, is_valid)
        ("tick", time_ns, full_name, price_type, price, volume)
        ("bar", time_ns, full_name, bar_start_ns, open, high, low, close, actual_volume,
         tick_volume)

        A quote's or tick's time is CQG's server time stamp where it gave one, otherwise the
        time it was received; a bar's is the time it was received. A tick's or bar's
        instrument is the request's symbol unless a quoted full name ends with it. A quote whose type was no
        quote-type constant when it was recorded is left out (it has no name to replay by)."""
        # Ticks and bars name their instrument by the request's symbol: the quoted
        # instrument's full name stands for it where one ends with it.
        full_names = {name.rsplit(".", 1)[-1]: name for name in self.meta["instruments"]
                      if "." in name}
        streams = [_quote_events(self._table("quotes")),
                   _tick_events(self._table("ticks"), full_names),
                   _bar_events(self._table("bars"), full_names)]
        for _, event in heapq.merge(*streams, key=lambda pair: pair[0]):
            yield event

    def _table(self, kind):
        import pyarrow as pa
        import pyarrow.parquet as pq

        from corvane.recording.layout import schemas

        if kind not in KINDS:
            raise ValueError(f"no such kind of event in a recording: {kind!r} (one of {KINDS})")
        schema = schemas()[kind]
        tables = [pq.read_table(path, schema=schema) for path in part_files(self.folder, kind)]
        if not tables:
            return schema.empty_table()
        return pa.concat_tables(tables)


def open_recording(path):
    """Opens the recording folder at ``path``. A folder of another format version raises
    ValueError naming the version found and the one this reader reads."""
    path = os.fspath(path)
    meta_path = os.path.join(path, META_FILE)
    if not os.path.isdir(path):
        if os.path.exists(path):
            raise ValueError(f"{path} is not a recording: a recording is a folder")
        raise FileNotFoundError(f"no recording at {path}")
    try:
        with open(meta_path, encoding="utf-8") as source:
            meta = json.load(source)
    except FileNotFoundError:
        raise ValueError(f"{path} is not a recording: it has no {META_FILE}") from None
    except json.JSONDecodeError as error:
        raise ValueError(f"{meta_path} is damaged: {error}") from None
    version = meta.get("format_version") if isinstance(meta, dict) else None
    if version != FORMAT_VERSION:
        raise ValueError(f"{path} is a recording of format version {version!r}; this reader "
                         f"reads format version {FORMAT_VERSION}")
    meta.setdefault("ended", None)
    meta.setdefault("instruments", [])
    return Recording(path, meta)


def _nanoseconds(table, name):
    import pyarrow as pa

    return table.column(name).cast(pa.int64()).to_pylist()


def _quote_events(table):
    received = _nanoseconds(table, "received")
    server = _nanoseconds(table, "server_time")
    columns = [table.column(name).to_pylist()
               for name in ("full_name", "quote_type", "price", "volume", "is_valid")]
    for at, stamp, full_name, quote_type, price, volume, is_valid in zip(
            received, server, *columns):
        if quote_type is None:
            continue
        time_ns = at if stamp is None else stamp
        yield at, ("quote", time_ns, full_name, quote_type, price, volume, is_valid)


def _tick_events(table, full_names):
    received = _nanoseconds(table, "received")
    server = _nanoseconds(table, "server_time")
    columns = [table.column(name).to_pylist()
               for name in ("symbol", "price_type", "price", "volume")]
    for at, stamp, symbol, price_type, price, volume in zip(received, server, *columns):
        if price_type is None:
            continue
        yield at, ("tick", at if stamp is None else stamp, full_names.get(symbol, symbol),
                   price_type, price, volume)


def _bar_events(table, full_names):
    received = _nanoseconds(table, "received")
    starts = _nanoseconds(table, "bar_start")
    symbols = table.column("symbol").to_pylist()
    values = [[NAN if value is None else value for value in table.column(name).to_pylist()]
              for name in ("open", "high", "low", "close", "actual_volume", "tick_volume")]
    for at, symbol, start, *bar in zip(received, symbols, starts, *values):
        yield at, ("bar", at, full_names.get(symbol, symbol), start, *bar)
