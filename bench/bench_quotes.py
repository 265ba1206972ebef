"""The quote handler against the floor of the framework's own work for the same quotes.

GATELINK.OnInstrumentChanged handles events of 1 and of 4 valid quotes (bid, ask, trade,
day high) on objects shaped like pywin32's wrappers; the floor is a Python loop doing only
what the framework must do per quote whoever handles it: the dataclasses.replace copy, the
store into cqg_quotes and the process_quote call. Rounds alternate between the two sides;
the figures are medians of the per-quote cost, and the ratio is handler / floor.

    .venv/bin/python bench/bench_quotes.py [--events 20000] [--rounds 9]
"""
import argparse
import datetime
import pathlib
import statistics
import sys
import time
from dataclasses import replace

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "gatelink"))

import win32com.client  # noqa: E402
from win32com.client import constants  # noqa: E402

from corvane.core.data import Quote  # noqa: E402
from corvane.gateways.cqg.wrapper import gatelink as gatelink_module  # noqa: E402
from market_fakes import (EPZ26, Collection, CQGQuote, Instrument,  # noqa: E402
                          MarketCEL, MarketGateway)

KINDS = [("qtBid", "bid_price", 5999.75), ("qtAsk", "ask_price", 6000.25),
         ("qtTrade", "last_price", 6000.0), ("qtDayHigh", "high_price", 6010.0)]


class CountingGateway(MarketGateway):
    def process_quote(self, quote):
        self.published += 1


def handler_side(events, per_event):
    gateway = CountingGateway(MarketCEL())
    gateway.published = 0
    link = gatelink_module.GATELINK()
    link.Init(gateway)
    instrument = Instrument("F.US.EPZ26")
    quotes = Collection(CQGQuote(kind, price) for kind, _, price in KINDS[:per_event])
    properties = Collection()
    handle = link.OnInstrumentChanged
    start = time.perf_counter()
    for _ in range(events):
        handle(instrument, quotes, properties)
    return (time.perf_counter() - start) / (events * per_event)


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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--events", type=int, default=20000)
    parser.add_argument("--rounds", type=int, default=9)
    args = parser.parse_args()
    win32com.client.Dispatch = lambda obj: obj  # the stand-ins are wrappers already
    for per_event in (1, 4):
        handler, floor = [], []
        for _ in range(args.rounds):
            handler.append(handler_side(args.events, per_event))
            floor.append(floor_side(args.events, per_event))
        h, f = statistics.median(handler), statistics.median(floor)
        print(f"events of {per_event} quote(s): handler {h * 1e6:.2f} us/quote, "
              f"floor {f * 1e6:.2f} us/quote, ratio {h / f:.2f}x (target <= 1.25x)")


if __name__ == "__main__":
    main()
