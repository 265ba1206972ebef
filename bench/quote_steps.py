"""Where the quote handler's time goes: each step it takes per quote, timed on its own on
the emulated objects bench_quotes.py uses, beside the whole handler and the floor's pieces.
Not one of make bench's benchmarks (it prints no ratio against a target); run it to see
which step a change should go after.

    .venv/bin/python bench/quote_steps.py [--number 100000]
"""
import argparse
import dataclasses
import datetime
import pathlib
import sys
import timeit

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "gatelink"))

import win32com.client  # noqa: E402
from win32com.client import constants  # noqa: E402

import bench_quotes  # noqa: E402
from corvane.core.data import Quote  # noqa: E402
from corvane.gateways.cqg.wrapper import gatelink  # noqa: E402
from market_fakes import EPZ26, MarketCEL  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--number", type=int, default=100000)
    args = parser.parse_args()
    cel, sink, events = bench_quotes.emulated_events()
    instrument, quotes, properties = events[1]
    four = events[4]
    gateway = bench_quotes.CountingGateway(MarketCEL())
    gateway.published = 0
    link = gatelink.GATELINK()
    link.Init(gateway)
    wrapped_instrument = win32com.client.Dispatch(instrument)
    wrapped_quotes = win32com.client.Dispatch(quotes)
    quote = next(iter(wrapped_quotes))
    trade = constants.qtTrade
    record = Quote(security=EPZ26, exchange=EPZ26.exchange, datetime=datetime.datetime.now())
    steps = [
        ("Dispatch of both event arguments",
         lambda: (win32com.client.Dispatch(instrument), win32com.client.Dispatch(quotes)), 1),
        ("iterating a one-quote collection", lambda: [q for q in wrapped_quotes], 1),
        ("quote.IsValid, .Type, .Price", lambda: (quote.IsValid, quote.Type, quote.Price), 1),
        ("instrument.FullName", lambda: wrapped_instrument.FullName, 1),
        ("QuoteType2String(qtTrade)", lambda: gatelink.QuoteType2String(trade), 1),
        ("get_cv_security_from_cqg_symbol",
         lambda: gateway.get_cv_security_from_cqg_symbol("EPZ26"), 1),
        ("datetime.now()", datetime.datetime.now, 1),
        ("dataclasses.replace of a Quote (floor)",
         lambda: dataclasses.replace(record, last_price=1.0, datetime=None), 1),
        ("handler, event of 1 quote, per quote",
         lambda: link.OnInstrumentChanged(instrument, quotes, properties), 1),
        ("handler, event of 4 quotes, per quote", lambda: link.OnInstrumentChanged(*four), 4),
    ]
    for label, step, per_call in steps:
        best = min(timeit.repeat(step, number=args.number, repeat=5))
        print(f"{label:42s} {best / args.number / per_call * 1e6:7.2f} us")


if __name__ == "__main__":
    main()
