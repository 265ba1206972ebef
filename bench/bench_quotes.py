"""The quote handler against the floor of the framework's own work for the same quotes.

GATELINK.OnInstrumentChanged handles events of 1 and of 4 valid quotes (trade, bid, ask,
day high) as the emulated CQGCEL delivers them (instances of the generated classes of its
instrument and quote collection, wrapped again by the handler with Dispatch and read by
name, with the constants kept as pywin32 keeps them); the floor is a Python loop doing only
what the framework must do per quote whoever handles it: the dataclasses.replace copy, the
store into cqg_quotes and the process_quote call. Rounds alternate between the two sides;
the figures are medians of the per-quote cost, and the ratio is handler / floor.

    .venv/bin/python bench/bench_quotes.py [--events 20000] [--rounds 9]
"""
import argparse
import copy
import dataclasses
import datetime
import pathlib
import statistics
import sys
import time
from dataclasses import replace

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "gatelink"))

import corvane_emulator as emulator  # noqa: E402
import pythoncom  # noqa: E402
import win32com.client  # noqa: E402
from win32com.client import constants  # noqa: E402

from corvane.core.data import Quote  # noqa: E402
from corvane.gateways.cqg.wrapper import gatelink as gatelink_module  # noqa: E402
from market_fakes import EPZ26, MarketCEL, MarketGateway  # noqa: E402
from report_rows import report_row  # noqa: E402

# A trade first, so that every quote of either event publishes, as on the floor.
KINDS = [("qtTrade", "last_price", 6000.0), ("qtBid", "bid_price", 5999.75),
         ("qtAsk", "ask_price", 6000.25), ("qtDayHigh", "high_price", 6010.0)]


class CapturingSink:
    """Keeps the arguments of the last InstrumentChanged as the platform delivered them."""
    arguments = None

    def OnInstrumentResolved(self, symbol, cqgInstrument, cqgError):
        instrument = win32com.client.Dispatch(cqgInstrument)
        instrument.DataSubscriptionLevel = constants.dsQuotesAndBBA

    def OnInstrumentChanged(self, cqgInstrument, cqgQuotes, cqgInstrumentProperties):
        CapturingSink.arguments = (cqgInstrument, cqgQuotes, cqgInstrumentProperties)


def emulated_events():
    """The arguments of an emulated InstrumentChanged of 1 and of 4 valid quotes."""
    emulator.reset()
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, CapturingSink)
    cel.NewInstrument("EPZ26")
    pythoncom.PumpWaitingMessages()
    events = {}
    for per_event in (1, 4):
        emulator.push_quotes("EPZ26", [(kind, price) for kind, _, price in KINDS[:per_event]])
        pythoncom.PumpWaitingMessages()
        events[per_event] = CapturingSink.arguments
    return cel, sink, events


class CountingGateway(MarketGateway):
    def process_quote(self, quote):
        self.published += 1


def handler_side(events, per_event, arguments, record_class=None):
    gateway = CountingGateway(MarketCEL())
    gateway.published = 0
    if record_class is not None:  # the handler copies a stored record by its own class
        gateway.cqg_quotes[EPZ26] = record_class(security=EPZ26, exchange=EPZ26.exchange,
                                                 datetime=datetime.datetime.now())
    link = gatelink_module.GATELINK()
    link.Init(gateway)
    instrument, quotes, properties = arguments
    handle = link.OnInstrumentChanged
    start = time.perf_counter()
    for _ in range(events):
        handle(instrument, quotes, properties)
    elapsed = time.perf_counter() - start
    assert gateway.published == events * per_event
    return elapsed / (events * per_event)


def floor_side(events, per_event):
    gateway = CountingGateway(MarketCEL())
    gateway.published = 0
    cqg_quotes = gateway.cqg_quotes
    cqg_quotes[EPZ26] = Quote(security=EPZ26, exchange=EPZ26.exchange,
                              datetime=datetime.datetime.now())
    changes = [(field, price) for _, field, price in KINDS[:per_event]]
    now = datetime.datetime.now
    start = time.perf_counter()
    for _ in range(events):
        for field, price in changes:
            record = replace(cqg_quotes[EPZ26], **{field: price, "datetime": now()})
            cqg_quotes[EPZ26] = record
            gateway.process_quote(record)
    return (time.perf_counter() - start) / (events * per_event)


def quote_checked_by_attribute():
    """Quote under another name whose Field objects are of a subclass of Field: the copy then
    checks on every quote, by attribute look-up, that no field changed since it worked the
    class out, where for Quote itself it reads the same values from Field's slots."""
    class FieldOfSubclass(dataclasses.Field):
        __slots__ = ()

    @dataclasses.dataclass(frozen=True)
    class CheckedQuote(Quote):
        pass

    for name, field in list(CheckedQuote.__dataclass_fields__.items()):
        own = copy.copy(field)
        own.__class__ = FieldOfSubclass
        CheckedQuote.__dataclass_fields__[name] = own
    return CheckedQuote


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--events", type=int, default=20000)
    parser.add_argument("--rounds", type=int, default=9)
    args = parser.parse_args()
    cel, sink, events = emulated_events()
    for per_event in (1, 4):
        handler, floor = [], []
        for _ in range(args.rounds):
            handler.append(handler_side(args.events, per_event, events[per_event]))
            floor.append(floor_side(args.events, per_event))
        h, f = statistics.median(handler), statistics.median(floor)
        print(f"events of {per_event} quote(s): handler {h * 1e6:.2f} us/quote, "
              f"floor {f * 1e6:.2f} us/quote, ratio {h / f:.2f}x (target <= 1.25x)")
        report_row(f"quote handler, events of {per_event} quote(s)", f"{h * 1e6:.2f} us/quote",
                   f"framework floor {f * 1e6:.2f} us/quote", h / f, "<= 1.25x", h / f <= 1.25)

    # The copy checks every field of the record's class on every copy; from Field's slots
    # against the ordinary attribute look-up it stands for.
    checked = quote_checked_by_attribute()
    by_slot, by_attribute = [], []
    for _ in range(args.rounds):
        by_slot.append(handler_side(args.events, 1, events[1]))
        by_attribute.append(handler_side(args.events, 1, events[1], checked))
    s, a = statistics.median(by_slot), statistics.median(by_attribute)
    print(f"field checks from slots: handler {s * 1e6:.2f} us/quote, by attribute look-up "
          f"{a * 1e6:.2f} us/quote, ratio {s / a:.2f}x")
    report_row("quote handler, fields checked from their slots", f"{s * 1e6:.2f} us/quote",
               f"checked by attribute look-up {a * 1e6:.2f} us/quote", s / a)


if __name__ == "__main__":
    main()
