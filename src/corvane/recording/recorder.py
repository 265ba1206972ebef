"""The recorder: what the gateway's handlers hand over, written as the session runs.

``GATELINK``'s market handlers look for a ``market_recorder`` in the framework gateway's own
attributes once per event (so a recorder may be attached before the gateway connects).
When one is there they append each value they read from CQG, as they read it, to its column
in the recorder's ``quotes``, ``ticks`` or ``bars`` (a tuple of lists, one list a column);
nothing else is read or made for the recording on the event thread. A thread of the
recorder takes what has accumulated at least once a second, names the quote and tick types
by their constants' names, and writes each kind as a new Parquet part, complete before it
gets its final name. A process killed mid-session so loses at most its last second.

The columns as the handlers fill them (times: ints are UTC nanoseconds, datetimes as CQG
gave them; a value CQG did not give is None):

- quotes: (received, server_time, full_name, quote_type_value, price, volume, is_valid)
- ticks:  (received, server_time, request_symbol, price_type_value, price, volume)
- bars:   (received, event, request_symbol, bar_start, open, high, low, close,
           actual_volume, tick_volume), event being "resolved", "added" or "updated"

Quotes, the bulk of a session, the quote handler packs instead into ``packed_quotes``
(packed_quotes.py): only those with values that do not fit reach the lists then.
"""
import os
import sys
import threading
import time

from corvane.recording import packed_quotes
from corvane.recording.layout import (FORMAT_VERSION, KINDS, PART_PATTERN, TEMPORARY_PREFIX,
                                      schemas, write_meta)

# How many columns the handlers fill per kind (the tuples above).
COLUMNS = {"quotes": 7, "ticks": 6, "bars": 10}

QUOTE_TYPES = ("qtAsk", "qtBid", "qtCohUndAsk", "qtCohUndBid", "qtDayHigh", "qtDayLow",
               "qtDayOpen", "qtImpliedAsk", "qtImpliedBid", "qtIndicativeOpen", "qtMarker",
               "qtOutrightAsk", "qtOutrightBid", "qtSettlement", "qtTodayMarker", "qtTrade",
               "qtYesterdaySettlement")
TICK_PRICE_TYPES = ("tptAsk", "tptBid", "tptSettlement", "tptTrade")

# What CQG leaves in a bar field that has no value; recorded as missing.
INVALID_VALUE = -2147483648


class Recorder:
    """Records the market events a GATELINK receives into the folder ``path`` (created; it
    must not hold a recording already).

        recorder = Recorder("session.rec").attach(gateway)   # a CqgGateway
        ...                                   # the session runs
        recorder.close()                      # or: with Recorder(...).attach(...):

    ``close`` detaches, writes what is left and marks the recording complete. A failure of
    the writing thread (a full disk, say) detaches the recorder at once, so that nothing
    accumulates, and ``close`` raises it."""

    def __init__(self, path, flush_interval=1.0):
        if not flush_interval > 0:
            raise ValueError(f"flush_interval must be above 0, not {flush_interval!r}")
        # Refused here rather than on the writing thread, and imported here: an import there
        # would hold the GIL from the handlers for its whole length at the first write.
        # (pyarrow imports pandas the first time it takes a numpy array: a fifth of a second.)
        import numpy  # noqa: F401
        import pandas  # noqa: F401
        import pyarrow.compute  # noqa: F401
        import pyarrow.parquet  # noqa: F401

        self.path = os.fspath(path)
        os.makedirs(self.path, exist_ok=True)
        if os.listdir(self.path):
            raise FileExistsError(f"{self.path} is not empty; a recording needs a folder "
                                  f"of its own")
        for kind in KINDS:
            os.mkdir(os.path.join(self.path, kind))
        self.flush_interval = flush_interval
        # Appended to by GATELINK's handlers on the event thread, taken from by the writer.
        self.quotes, self.ticks, self.bars = (tuple([] for _ in range(COLUMNS[kind]))
                                              for kind in KINDS)
        # The quote handler's packed rows, and the full names their codes index.
        self.packed_quotes = bytearray()
        self.quote_names = {}
        self._packing = False  # once packed rows came, the lists hold only the rows flagged
        # Cleared by the quote handler once a quote proves to have no ServerTimestamp.
        self.quote_server_time = True
        self.counts = dict.fromkeys(KINDS, 0)
        self.error = None
        self._gateway = None
        self._thread = None
        self._stop = threading.Event()
        self._flushing = threading.Lock()  # the thread's flushes and a caller's, one at a time
        self._parts = dict.fromkeys(KINDS, 0)
        self._names = {}
        self._instruments = {}  # in order of first appearance
        self._meta = {"format_version": FORMAT_VERSION, "started": None, "ended": None,
                      "instruments": [], "constants": {}}

    def attach(self, gateway):
        """Starts recording what the framework gateway ``gateway`` (a ``CqgGateway``,
        connected or not) receives through its GATELINK. Returns the recorder."""
        if self._thread is not None:
            raise RuntimeError("the recorder is already attached")
        self._meta["started"] = time.time_ns()
        write_meta(self.path, self._meta)
        self._thread = threading.Thread(target=self._run, name="corvane-recorder", daemon=True)
        self._thread.start()
        self._gateway = gateway
        gateway.market_recorder = self
        return self

    def close(self):
        """Detaches, writes what is left, and marks the recording complete."""
        self._detach()
        if self._thread is not None:
            self._stop.set()
            self._thread.join()
            self._thread = None
            if self.error is None:
                self._meta["ended"] = time.time_ns()
                self._meta["counts"] = self.counts
                write_meta(self.path, self._meta)
        if self.error is not None:
            raise RuntimeError(f"recording to {self.path} failed: {self.error!r}") from self.error

    def pending(self, kind):
        """How many events of ``kind`` ("quotes", "ticks" or "bars") are recorded and not
        written yet."""
        listed = len(getattr(self, kind)[0])
        if kind != "quotes":
            return listed
        return listed + packed_quotes.unlisted(self.packed_quotes)

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()
        return False

    # -- the writing thread ---------------------------------------------------------------

    def _detach(self):
        gateway, self._gateway = self._gateway, None
        if gateway is not None and gateway.__dict__.get("market_recorder") is self:
            del gateway.market_recorder

    def _run(self):
        try:
            while not self._stop.wait(self.flush_interval):
                self.flush()
            self.flush()
        except Exception as error:  # reported by close(); the session goes on unrecorded
            self.error = error
            self._detach()
            print(f"corvane recorder: recording to {self.path} stopped: {error!r}",
                  file=sys.stderr, flush=True)

    def flush(self):
        """Writes what the handlers appended so far (the writing thread calls it)."""
        with self._flushing:
            self._flush()

    def _flush(self):
        known = len(self._instruments), dict(self._meta["constants"])
        self._read_constant_names()
        for kind in KINDS:
            pending = getattr(self, kind)
            # The handlers only ever append, and fill a row's columns all at once: the first
            # `count` values of every column are whole rows that stay as they are.
            count = len(pending[0])
            packed = None
            if kind == "quotes":
                # `count` is taken before the packed rows: a listed quote's flagged row is
                # there before its values are in the lists.
                rows, names = packed_quotes.take(self.packed_quotes, self.quote_names)
                if rows or self._packing:
                    self._packing = True
                    packed = packed_quotes.arrays(rows, names)
                    count = int(packed[1].sum())
            rows_taken = count if packed is None else len(packed[1])
            if not rows_taken:
                continue
            columns = [column[:count] for column in pending]
            for column in pending:
                del column[:count]
            if packed is None:
                self._write_part(kind, columns)
            else:
                self._write_part(kind, columns, packed)
            self.counts[kind] += rows_taken
        if (len(self._instruments), self._meta["constants"]) != known:
            self._meta["instruments"] = self._instrument_list()
            write_meta(self.path, self._meta)

    def _write_part(self, kind, columns, packed=None):
        import pyarrow.parquet as pq

        if packed is None:
            table = getattr(self, f"_{kind}_table")(columns)
        else:
            table = self._packed_quotes_table(columns, *packed)
        folder = os.path.join(self.path, kind)
        name = PART_PATTERN.format(self._parts[kind])
        self._parts[kind] += 1
        temporary = os.path.join(folder, TEMPORARY_PREFIX + name)
        pq.write_table(table, temporary, **_parquet_options(table.schema))
        with open(temporary, "rb+") as written:
            os.fsync(written.fileno())
        os.replace(temporary, os.path.join(folder, name))

    # -- rows to tables ---------------------------------------------------------------------

    def _quotes_table(self, columns):
        return self._quotes_table_of(_arrays(columns, _quote_fields()))

    def _packed_quotes_table(self, columns, plain, listed):
        """The packed rows with the listed ones (``columns``) in their places."""
        if listed.any():
            plain = packed_quotes.interleave(plain, _arrays(columns, _quote_fields()), listed)
        return self._quotes_table_of(plain)

    def _quotes_table_of(self, raw):
        import pyarrow as pa

        full_name = raw["full_name"]
        if not pa.types.is_dictionary(full_name.type):
            full_name = full_name.dictionary_encode()
        self._note_instruments(full_name.dictionary.to_pylist())
        types = raw["quote_type_value"]
        return _table("quotes", {
            "received": raw["received"], "server_time": raw["server_time"],
            "full_name": full_name, "quote_type": self._type_names(types, "qt"),
            "quote_type_value": types, "price": raw["price"],
            "volume": raw["volume"], "is_valid": raw["is_valid"]})

    def _ticks_table(self, columns):
        import pyarrow as pa

        raw = _arrays(columns, [
            ("received", pa.int64()), ("server_time", pa.timestamp("ns", tz="UTC")),
            ("symbol", pa.string()), ("price_type_value", pa.int64()),
            ("price", pa.float64()), ("volume", pa.float64())])
        symbol = raw["symbol"].dictionary_encode()
        self._note_instruments(symbol.dictionary.to_pylist())
        types = raw["price_type_value"]
        return _table("ticks", {
            "received": raw["received"], "server_time": raw["server_time"],
            "symbol": symbol, "price_type": self._type_names(types, "tpt"),
            "price_type_value": types, "price": raw["price"],
            "volume": raw["volume"]})

    def _bars_table(self, columns):
        import pyarrow as pa
        import pyarrow.compute as pc

        values = ("open", "high", "low", "close", "actual_volume", "tick_volume")
        raw = _arrays(columns, [
            ("received", pa.int64()), ("event", pa.string()), ("symbol", pa.string()),
            ("bar_start", pa.timestamp("ns", tz="UTC"))] +
            [(name, pa.float64()) for name in values])
        symbol = raw["symbol"].dictionary_encode()
        self._note_instruments(symbol.dictionary.to_pylist())
        missing = pa.scalar(None, pa.float64())
        columns = {"received": raw["received"],
                   "event": raw["event"].dictionary_encode(), "symbol": symbol,
                   "bar_start": raw["bar_start"]}
        for name in values:
            column = raw[name]
            columns[name] = pc.if_else(pc.equal(column, INVALID_VALUE), missing, column)
        return _table("bars", columns)

    # -- names ----------------------------------------------------------------------------

    def _read_constant_names(self):
        """Each quote-type and tick price-type value's name, from the type library loaded
        now (read again for every part: the bridge loads it when it is imported, which may
        come after the recorder is attached). A recording keeps names, which survive a type
        library whose values differ."""
        from win32com.client import constants

        names, values = {}, {}
        for prefix, group in (("qt", QUOTE_TYPES), ("tpt", TICK_PRICE_TYPES)):
            by_value = names.setdefault(prefix, {})
            for name in group:
                value = getattr(constants, name, None)
                if isinstance(value, int):
                    by_value.setdefault(value, name)
                    values[name] = value
        self._names = names
        self._meta["constants"] = values

    def _type_names(self, values, prefix):
        import pyarrow as pa
        import pyarrow.compute as pc

        # One pass over the values; then only their few distinct values are named. A value
        # no constant has is a null, not an entry of the dictionary.
        by_value = self._names.get(prefix, {})
        coded = pc.dictionary_encode(values)
        names, positions = [], []
        for value in coded.dictionary.to_pylist():
            name = by_value.get(value)
            positions.append(None if name is None else len(names))
            if name is not None:
                names.append(name)
        indices = pc.take(pa.array(positions, coded.indices.type), coded.indices)
        return pa.DictionaryArray.from_arrays(indices, pa.array(names, pa.string()))

    def _note_instruments(self, names):
        for name in names:
            if name is not None:
                self._instruments.setdefault(name, None)

    def _instrument_list(self):
        full_names = [name for name in self._instruments if "." in name]
        symbols = {name.rsplit(".", 1)[1] for name in full_names}
        return full_names + [name for name in self._instruments
                             if "." not in name and name not in symbols]


def _quote_fields():
    """The quote handler's columns as pyarrow converts them."""
    import pyarrow as pa

    return [("received", pa.int64()), ("server_time", pa.timestamp("ns", tz="UTC")),
            ("full_name", pa.string()), ("quote_type_value", pa.int64()),
            ("price", pa.float64()), ("volume", pa.float64()), ("is_valid", pa.bool_())]


# Values converted per call into pyarrow: the conversion holds the GIL throughout, and the
# event thread must not wait for it much longer than a switch interval.
CONVERSION_CHUNK = 32768


def _arrays(columns, fields):
    """The handlers' columns as arrays by field name, each converted a chunk at a time; a
    chunk pyarrow cannot take as it is (a price given as a Decimal, say) is converted value
    by value."""
    import pyarrow as pa

    arrays = {}
    for column, (name, kind) in zip(columns, fields):
        chunks = []
        for start in range(0, len(column), CONVERSION_CHUNK):
            chunk = column[start:start + CONVERSION_CHUNK]
            try:
                chunks.append(pa.array(chunk, type=kind))
            except (pa.ArrowInvalid, pa.ArrowTypeError, TypeError, ValueError, OverflowError):
                chunks.append(pa.array([_plain(value, kind) for value in chunk], type=kind))
        arrays[name] = pa.concat_arrays(chunks) if chunks else pa.array([], type=kind)
    return arrays


def _plain(value, kind):
    import pyarrow as pa

    if value is None:
        return None
    if pa.types.is_floating(kind):
        return float(value)
    if pa.types.is_integer(kind):
        return int(value)
    return value


def _parquet_options(schema):
    """How a part is encoded, chosen for the writer's processor time (it shares the machine
    with the feed and the event thread) more than for the last byte. Names, type values,
    prices and volumes repeat within a second (prices move on a tick grid), so dictionary
    pages leave little for zstd to do; times increase, so their differences are stored.
    Statistics, which take time to gather, only for the times, by which a reader filters."""
    import pyarrow as pa

    times = [field.name for field in schema if pa.types.is_timestamp(field.type)]
    repeated = [field.name for field in schema
                if not pa.types.is_timestamp(field.type) and not pa.types.is_boolean(field.type)]
    return {"compression": "zstd", "use_dictionary": repeated,
            "column_encoding": dict.fromkeys(times, "DELTA_BINARY_PACKED"),
            "write_statistics": times}


def _table(kind, columns):
    import pyarrow as pa

    schema = schemas()[kind]
    arrays = []
    for field in schema:
        column = columns[field.name]
        arrays.append(column if column.type == field.type else column.cast(field.type))
    return pa.Table.from_arrays(arrays, schema=schema)

