"""What recording costs the live path: quotes per second from the live emulated market through
the bridge's pump and GATELINK to process_quote, without a recorder and with one attached
(corvane.recording.Recorder writing its Parquet parts), measured side by side in one run,
alternating; and the bytes the recording holds per quote.

Each round runs a fresh gateway over the three default instruments (counting its records
rather than keeping them) until --quotes quotes have reached process_quote after a warm-up of
100,000, at twice the target rate offered (as bench_market_e2e.py does). The best rate of each
side over --rounds rounds is compared: the ratio without/with is the recorder's cost (target
<= 1.10x). The recorded bytes per quote are the quote parts' size over the quotes recorded.

Beside it, steadier on a busy machine, the handler's own share: GATELINK.OnInstrumentChanged
on emulated events of 4 quotes (as bench_quotes.py calls it), with a recorder's columns
attached and without, processor time per quote, median of alternating rounds.

    .venv/bin/python bench/bench_recording_cost.py [--quotes 500000] [--rounds 3]
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
    """One round: the rate through the path, and the recorder when one was attached."""
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
        start_count, start = received["quote"], time.perf_counter()
        while received["quote"] < WARM_UP + quotes:
            time.sleep(0.02)
        handled, elapsed = received["quote"] - start_count, time.perf_counter() - start
        emulator.stop_market()
    finally:
        with contextlib.redirect_stdout(io.StringIO()):
            gateway.close()
        if recorder is not None:
            recorder.close()
    return handled / elapsed, recorder


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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quotes", type=int, default=500_000)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--rate", type=int, default=200_000)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="corvane-recording-")
    plain, recorded, recorder = [], [], None
    try:
        for round_number in range(args.rounds):
            plain.append(quotes_per_second(args.quotes, args.rate)[0])
            folder = os.path.join(work, f"round-{round_number}.rec")
            rate, recorder = quotes_per_second(args.quotes, args.rate, folder)
            recorded.append(rate)
            print(f"round {round_number + 1}: {plain[-1]:,.0f} quotes/s without a recorder, "
                  f"{rate:,.0f} with one")
        quotes_bytes = parts_size(os.path.join(folder, "quotes"))
        recorded_quotes = recorder.counts["quotes"]
    finally:
        shutil.rmtree(work, ignore_errors=True)
    best_plain, best_recorded = max(plain), max(recorded)
    cost = best_plain / best_recorded
    each = sorted(p / r for p, r in zip(plain, recorded))
    print(f"ratio of each round (each side run once, one after the other): "
          f"{', '.join(f'{ratio:.3f}x' for ratio in each)}")
    per_quote = quotes_bytes / recorded_quotes
    print(f"best: {best_plain:,.0f} quotes/s without, {best_recorded:,.0f} with a recorder: "
          f"{cost:.3f}x (target <= 1.10x), "
          f"{(1 / best_recorded - 1 / best_plain) * 1e6:.2f} us more per quote")
    print(f"recorded: {recorded_quotes:,} quotes in {quotes_bytes:,} bytes of quote parts, "
          f"{per_quote:.2f} bytes per quote")
    report_row("recorder's cost on the live path (quotes/s without / with)",
               f"{best_recorded:,.0f} quotes/s recorded", f"{best_plain:,.0f} quotes/s",
               cost, "<= 1.10x", cost <= 1.10)
    plain_cpu, recorded_cpu = handler_cost_per_quote()
    print(f"OnInstrumentChanged, 4-quote events: {plain_cpu * 1e6:.3f} us/quote without, "
          f"{recorded_cpu * 1e6:.3f} us/quote with a recorder's columns attached "
          f"({recorded_cpu / plain_cpu:.3f}x)")
    report_row("quote handler with a recorder attached (processor time per quote)",
               f"{recorded_cpu * 1e6:.3f} us/quote", f"{plain_cpu * 1e6:.3f} us/quote",
               recorded_cpu / plain_cpu, None, None)
    report_row("bytes per recorded quote (Parquet parts, zstd)", f"{per_quote:.2f} B/quote",
               "64 B/quote (a CQGQuote's eight fields as 8-byte values)", per_quote / 64,
               None, None)


if __name__ == "__main__":
    main()
