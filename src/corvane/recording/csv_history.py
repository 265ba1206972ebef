"""A trader's own market history as CSV, read into the replay's quote events.

The file has the header ``time,symbol,kind,price,volume`` and one quote per line:

- ``time``: an ISO 8601 date and time (``2026-12-09T14:30:00.250``; without an offset it is
  UTC) or a whole number of nanoseconds since the Unix epoch; never earlier than the line
  before it;
- ``symbol``: the CQG symbol (``EPZ26``) or full name (``F.US.EPZ26``);
- ``kind``: ``bid``, ``ask``, ``trade`` or ``settlement``;
- ``price``: a finite number;
- ``volume``: a number not below 0, or empty when there is none.
"""
import csv
import datetime
import math

HEADER = ["time", "symbol", "kind", "price", "volume"]
QUOTE_TYPE_OF_KIND = {"bid": "qtBid", "ask": "qtAsk", "trade": "qtTrade",
                      "settlement": "qtSettlement"}

_EPOCH = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)


def read_csv_history(path):
    """The quotes of the CSV at ``path`` as replay events
    ``("quote", time_ns, symbol, quote_type, price, volume, True)``, in the file's order. A
    bad line raises ValueError naming its line number."""
    events = []
    previous_time = None
    with open(path, newline="", encoding="utf-8-sig") as source:
        rows = csv.reader(source)
        header = next(rows, None)
        if header is None or [field.strip().lower() for field in header] != HEADER:
            raise ValueError(f"{path}, line 1: the header must be {','.join(HEADER)}, "
                             f"found {','.join(header or [])!r}")
        for row in rows:
            line = rows.line_num
            if not row or all(not field.strip() for field in row):
                continue
            try:
                event = _event_of_row(row)
            except ValueError as error:
                raise ValueError(f"{path}, line {line}: {error}") from None
            if previous_time is not None and event[1] < previous_time:
                raise ValueError(f"{path}, line {line}: its time is earlier than the line "
                                 f"before it; the history must be in time order")
            previous_time = event[1]
            events.append(event)
    return events


def _event_of_row(row):
    if len(row) != len(HEADER):
        raise ValueError(f"expected {len(HEADER)} fields ({','.join(HEADER)}), found {len(row)}")
    time_text, symbol, kind, price_text, volume_text = (field.strip() for field in row)
    if not symbol:
        raise ValueError("the symbol is empty")
    quote_type = QUOTE_TYPE_OF_KIND.get(kind.lower())
    if quote_type is None:
        raise ValueError(f"kind {kind!r} is not one of {', '.join(QUOTE_TYPE_OF_KIND)}")
    price = _number(price_text, "price")
    volume = None
    if volume_text:
        volume = _number(volume_text, "volume")
        if volume < 0:
            raise ValueError(f"volume {volume_text!r} is below 0")
    return ("quote", _nanoseconds(time_text), symbol, quote_type, price, volume, True)


def _number(text, field):
    try:
        value = float(text)
    except ValueError:
        raise ValueError(f"{field} {text!r} is not a number") from None
    if not math.isfinite(value):
        raise ValueError(f"{field} {text!r} is not a finite number")
    return value


def _nanoseconds(text):
    if text.isdigit():
        return int(text)
    try:
        when = datetime.datetime.fromisoformat(text.replace("Z", "+00:00"))
    except ValueError:
        raise ValueError(f"time {text!r} is neither ISO 8601 nor nanoseconds since "
                         f"the epoch") from None
    if when.tzinfo is None:
        when = when.replace(tzinfo=datetime.timezone.utc)
    delta = when - _EPOCH
    return (delta.days * 86_400 + delta.seconds) * 1_000_000_000 + delta.microseconds * 1_000
