"""Handing out a repaired bar window against reading it once in Python.

GATELINK.get_subscribe_bars_data on a window of 100,000 bars in which 1 % of the fields
have no value (INVALID_VALUE), against a Python pass that only reads every field of every
bar once. Each round builds a fresh window for each side; the figures are medians and the
ratio is repair / read.

    .venv/bin/python bench/bench_bars.py [--bars 100000] [--rounds 7]
"""
import argparse
import datetime
import random
import statistics
import time

from corvane.core.data import Bar
from corvane.core.security import Futures
from corvane.gateways.cqg.wrapper import gatelink as gatelink_module
from report_rows import report_row

FIELDS = ("open", "high", "low", "close", "volume")
INVALID = gatelink_module.INVALID_VALUE
SECURITY = Futures("EPZ26", "E-mini S&P 500 Dec 26")


def make_window(count, seed):
    rng = random.Random(seed)
    start = datetime.datetime(2026, 1, 2, 9, 30)
    bars = []
    for n in range(count):
        values = {f: (rng.randint(1, 500) if f == "volume" else 6000.0 + rng.random())
                  for f in FIELDS}
        for f in FIELDS:
            if rng.random() < 0.01 and n != count - 1:
                values[f] = INVALID
        bars.append(Bar(datetime=start + datetime.timedelta(minutes=n), security=SECURITY,
                        **values))
    return bars


def repair_side(bars):
    link = gatelink_module.GATELINK()
    link.subscribe_bars_data[SECURITY] = bars
    start = time.perf_counter()
    result = link.get_subscribe_bars_data(SECURITY)
    elapsed = time.perf_counter() - start
    assert result is bars and not any(getattr(b, f) == INVALID for b in bars for f in FIELDS)
    return elapsed


def read_side(bars):
    start = time.perf_counter()
    for bar in bars:
        bar.open, bar.high, bar.low, bar.close, bar.volume  # noqa: B018 (the reads are the work)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bars", type=int, default=100_000)
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()
    repair, read = [], []
    for round_number in range(args.rounds):
        repair.append(repair_side(make_window(args.bars, round_number)))
        read.append(read_side(make_window(args.bars, round_number)))
    r, p = statistics.median(repair), statistics.median(read)
    print(f"{args.bars} bars, 1 % fields INVALID: repair {r * 1e3:.1f} ms, "
          f"read-once {p * 1e3:.1f} ms, ratio {r / p:.2f}x (target <= 2x)")
    report_row(f"bar window repair, {args.bars:,} bars, 1 % INVALID", f"{r * 1e3:.1f} ms",
               f"Python read-once pass {p * 1e3:.1f} ms", r / p, "<= 2x", r / p <= 2)


if __name__ == "__main__":
    main()
