"""What the emulated platform costs per operation on the quote path, against plain Python.

Each operation a quote handler asks of the emulator (wrapping the two event arguments with
Dispatch, iterating a quote collection of one and of four quotes through _NewEnum and Next,
reading a quote by Item, reading a quote's IsValid, Type and Price, reading the instrument's
FullName) is timed on the arguments of a real emulated InstrumentChanged, and beside it the
same shape of work on plain Python objects (a wrapper class, a collection whose __iter__
yields and whose Item indexes a list, properties). The figures are the best of the rounds, per
operation; the ratio is emulated / Python.

    .venv/bin/python bench/bench_emulator_calls.py [--number 20000] [--rounds 7]
"""
import argparse
import timeit

import win32com.client

from bench_quotes import emulated_events
from corvane.gateways.cqg.wrapper.type_library import CQGCEL_TYPE_LIBRARY
from report_rows import report_row


class PlainQuote:
    def __init__(self, kind, price):
        self._kind, self._price = kind, price

    @property
    def IsValid(self):
        return True

    @property
    def Type(self):
        return self._kind

    @property
    def Price(self):
        return self._price


class PlainQuotes:
    def __init__(self, quotes):
        self._quotes = quotes

    def __iter__(self):
        yield from self._quotes

    def Item(self, index):
        return self._quotes[index]


class PlainInstrument:
    @property
    def FullName(self):
        return "F.US.EPZ26"


class PlainWrapper:
    def __init__(self, inner):
        self._inner = inner


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--number", type=int, default=20000)
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()
    win32com.client.gencache.EnsureModule(*CQGCEL_TYPE_LIBRARY)
    cel, sink, arguments = emulated_events()  # the arguments of events of 1 and of 4 quotes
    wrap = win32com.client.Dispatch
    instrument, quotes_1, _ = arguments[1]
    quotes_4 = wrap(arguments[4][1])
    emulated = {"instrument": wrap(instrument), "quotes_1": wrap(quotes_1), "quotes_4": quotes_4,
                "quote": next(iter(quotes_4)), "bare": arguments[1][:2], "wrap": wrap}
    plain_quotes = [PlainQuote(i, 6000.0 + i) for i in range(4)]
    plain = {"instrument": PlainInstrument(), "quotes_1": PlainQuotes(plain_quotes[:1]),
             "quotes_4": PlainQuotes(plain_quotes), "quote": plain_quotes[0],
             "bare": (object(), object()), "wrap": PlainWrapper}
    operations = [
        ("Dispatch of the two event arguments", "wrap(bare[0]); wrap(bare[1])"),
        ("iterating a collection of 1 quote", "[q for q in quotes_1]"),
        ("iterating a collection of 4 quotes", "[q for q in quotes_4]"),
        ("reading a quote by Item", "quotes_1.Item(0)"),
        ("reading IsValid, Type, Price", "quote.IsValid; quote.Type; quote.Price"),
        ("reading the instrument's FullName", "instrument.FullName"),
    ]
    for name, statement in operations:
        figures = []
        for names in (emulated, plain):
            times = timeit.repeat(statement, globals=names, number=args.number,
                                  repeat=args.rounds)
            figures.append(min(times) / args.number)
        ours, python = figures
        print(f"{name}: emulated {ours * 1e6:.2f} us, Python {python * 1e6:.2f} us, "
              f"ratio {ours / python:.2f}x")
        report_row(f"emulator: {name}", f"{ours * 1e6:.2f} us", f"Python {python * 1e6:.2f} us",
                   round(ours / python, 2))


if __name__ == "__main__":
    main()
