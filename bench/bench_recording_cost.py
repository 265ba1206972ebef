"""What recording costs the live path: quotes per second from the live emulated market through
the bridge's pump and GATELINK to process_quote, without a recorder and with one attached
(corvane.recording.Recorder writing its Parquet parts), measured side by side in one run;
and the bytes the recording holds per quote.

Each round runs a fresh gateway over the three default instruments (counting its records
rather than keeping them) without a recorder and with one, one after the other (which goes
first alternates), until --quotes quotes have reached process_quote after a warm-up of
100,000. The market offers --rate quotes/s, by default more than the path carries, so that
the side without a recorder is not held back by the rate offered: the cost is measured where
it is real, with the path saturated. (At a rate the path carries easily both sides handle
what is offered and the ratio says little.) The figure is the median of the rounds' ratios
without/with (target <= 1.10x); their spread is printed. Beside it, steadier on a busy
machine, the processor time of the whole process (every thread: feed, event thread, writer)
per quote on each side, median over the rounds. The recorded bytes per quote are the quote
parts' size over the quotes recorded.

Beside them the handler's own share: GATELINK.OnInstrumentChanged on emulated events of 4
quotes (as bench_quotes.py calls it), with a recorder's columns attached and without,
processor time per quote, median of alternating rounds.

    .venv/bin/python bench/bench_recording_cost.py [--quotes 500000] [--rounds 5] [--rate 400000]
"""
import argparse
import contextlib
import io
import os
import shutil
import statistics
import tempfile
import time

import corvane_emulator as emulator
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway
from corvane.recording import Recorder
from report_rows import report_row

SYMBOLS = ("EPZ26", "ENQZ26", "CLEF27")
WARM_UP = 100_000


def quotes_per_second(quotes, rate, folder=None):
    """One side of a round: (quotes/s through the path, processor seconds per quote of the
    whole process, the recorder when one was attached)."""
    emulator.reset()
    gateway = CqgGateway([Futures(code=s, security_name=s) for s in SYMBOLS])
    recorder = Recorder(folder).attach(gateway) if folder else None
    with contextlib.redirect_stdout(io.StringIO()):
        gateway.connect()
        for symbol in SYMBOLS:
            gateway.gatelink.subscribe_quote(symbol)
    received = gateway.received
    try:
        emulator.start_market(rate, ticks_per_second=0)
        while received["quote"] < WARM_UP:
            time.sleep(0.01)
        start_count, start, start_cpu = received["quote"], time.perf_counter(), time.process_time()
        while received["quote"] < WARM_UP + quotes:
            time.sleep(0.02)
        handled = received["quote"] - start_count
        elapsed, cpu = time.perf_counter() - start, time.process_time() - start_cpu
        emulator.stop_market()
    finally:
        with contextlib.redirect_stdout(io.StringIO()):
            gateway.close()
        if recorder is not None:
            recorder.close()
    return handled / elapsed, cpu / handled, recorder


def handler_cost_per_quote(events=20_000, rounds=9):
    """(without, with) processor seconds per quote of OnInstrumentChanged on 4-quote events."""
    import bench_quotes
    from corvane.gateways.cqg.wrapper import gatelink

    cel, sink, emulated = bench_quotes.emulated_events()
    arguments = emulated[4]

    def one_round(recorded):
        gateway = bench_quotes.CountingGateway(bench_quotes.MarketCEL())
        gateway.published = 0
        if recorded:  # the columns only: the writing thread is the other figure's
            gateway.market_recorder = Recorder.__new__(Recorder)
            gateway.market_recorder.quotes = tuple([] for _ in range(7))
            gateway.market_recorder.quote_server_time = True
            gateway.market_recorder.packed_quotes = bytearray()
            gateway.market_recorder.quote_names = {}
        link = gatelink.GATELINK()
        link.Init(gateway)
        handle = link.OnInstrumentChanged
        start = time.thread_time()
        for _ in range(events):
            handle(*arguments)
        return (time.thread_time() - start) / (events * 4)

    plain, recorded = [], []
    for _ in range(rounds):
        plain.append(one_round(False))
        recorded.append(one_round(True))
    sink.close()
    return statistics.median(plain), statistics.median(recorded)


def parts_size(folder):
    total = 0
    for directory, _, names in os.walk(folder):
        total += sum(os.path.getsize(os.path.join(directory, name)) for name in names)
    return total


def spread(values, unit=""):
    values = sorted(values)
    return f"median {statistics.median(values):{unit}} (from {values[0]:{unit}} to {values[-1]:{unit}})"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quotes", type=int, default=500_000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--rate", type=int, default=400_000)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="corvane-recording-")
    plain, recorded, recorder = [], [], None
    try:
        for round_number in range(args.rounds):
            folder = os.path.join(work, f"round-{round_number}.rec")
            # Which side goes first alternates, so that a drift of the machine's load
            # weighs on both.
            for side in (None, folder) if round_number % 2 == 0 else (folder, None):
                result = quotes_per_second(args.quotes, args.rate, side)
                (plain if side is None else recorded).append(result)
            recorder = recorded[-1][2]
            print(f"round {round_number + 1}: {plain[-1][0]:,.0f} quotes/s without a recorder, "
                  f"{recorded[-1][0]:,.0f} with one: {plain[-1][0] / recorded[-1][0]:.3f}x; "
                  f"processor time {plain[-1][1] * 1e6:.2f} and {recorded[-1][1] * 1e6:.2f} "
                  f"us/quote", flush=True)
        quotes_bytes = parts_size(os.path.join(folder, "quotes"))
        recorded_quotes = recorder.counts["quotes"]
    finally:
        shutil.rmtree(work, ignore_errors=True)
    ratios = [p[0] / r[0] for p, r in zip(plain, recorded)]
    cost = statistics.median(ratios)
    plain_rate = statistics.median(p[0] for p in plain)
    recorded_rate = statistics.median(r[0] for r in recorded)
    print(f"{args.rate:,} quotes/s offered; the rounds' ratios without/with: {spread(ratios, '.3f')}"
          f" (target <= 1.10x); quotes/s without: {spread([p[0] for p in plain], ',.0f')}, "
          f"with: {spread([r[0] for r in recorded], ',.0f')}")
    plain_cpu = statistics.median(p[1] for p in plain)
    recorded_cpu = statistics.median(r[1] for r in recorded)
    print(f"processor time of the whole process per quote: {plain_cpu * 1e6:.2f} us without, "
          f"{recorded_cpu * 1e6:.2f} us with a recorder ({recorded_cpu / plain_cpu:.3f}x)")
    per_quote = quotes_bytes / recorded_quotes
    print(f"recorded: {recorded_quotes:,} quotes in {quotes_bytes:,} bytes of quote parts, "
          f"{per_quote:.2f} bytes per quote")
    report_row("recorder's cost on the saturated live path (quotes/s without / with, median "
               "of rounds)", f"{recorded_rate:,.0f} quotes/s recorded",
               f"{plain_rate:,.0f} quotes/s", cost, "<= 1.10x", cost <= 1.10)
    report_row("recorder's processor time on the live path (whole process, per quote)",
               f"{recorded_cpu * 1e6:.2f} us/quote", f"{plain_cpu * 1e6:.2f} us/quote",
               recorded_cpu / plain_cpu, None, None)
    plain_handler, recorded_handler = handler_cost_per_quote()
    print(f"OnInstrumentChanged, 4-quote events: {plain_handler * 1e6:.3f} us/quote without, "
          f"{recorded_handler * 1e6:.3f} us/quote with a recorder's columns attached "
          f"({recorded_handler / plain_handler:.3f}x)")
    report_row("quote handler with a recorder attached (processor time per quote)",
               f"{recorded_handler * 1e6:.3f} us/quote", f"{plain_handler * 1e6:.3f} us/quote",
               recorded_handler / plain_handler, None, None)
    report_row("bytes per recorded quote (Parquet parts, zstd)", f"{per_quote:.2f} B/quote",
               "64 B/quote (a CQGQuote's eight fields as 8-byte values)", per_quote / 64,
               None, None)


if __name__ == "__main__":
    main()
