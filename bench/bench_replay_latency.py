"""Latency from the replayed market posting a quote to process_quote receiving it, with the
replay offering --rate events/s at the recorded pace.

A recording of one instrument is made up (a quote every 1/rate s: bid, ask and trade in turn,
prices moving a tick at a time) and replayed at speed 1, so that each quote is posted when it
falls due. The emulator stamps each valid quote when it posts it (time.monotonic_ns()) and the
gateway's callback stamps its arrival. GATELINK publishes one record per valid quote once the
first bid and ask have made the record whole, so the n-th record received is the (n + 1)-th
quote posted. The first tenth of the run is left out. Prints the median and 99th percentile
against the 1 ms target, and the rate the replay sustained.

    .venv/bin/python bench/bench_replay_latency.py [--rate 50000] [--seconds 5]
"""
import argparse
import contextlib
import io
import statistics
import time

import corvane_emulator as emulator
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway
from corvane.gateways.cqg.wrapper import gatelink
from report_rows import report_row

EP = Futures(code="EPZ26", security_name="EPZ26")
TARGET_US = 1000


def made_up_recording(rate, seconds, start_ns=1_767_600_000 * 10**9):
    kinds = ("qtBid", "qtAsk", "qtTrade")
    spacing = round(1e9 / rate)
    events = []
    for i in range(int(rate * seconds)):
        price = 6000.0 + 0.25 * ((i // 30) % 20)
        offset = {"qtBid": -0.25, "qtAsk": 0.25, "qtTrade": 0.0}[kinds[i % 3]]
        events.append(("quote", start_ns + i * spacing, "F.US.EPZ26", kinds[i % 3],
                       price + offset, 1.0 + i % 50, True))
    return events


def percentiles(nanoseconds):
    values = sorted(nanoseconds)
    return (statistics.median(values) / 1000, values[int(len(values) * 0.99)] / 1000)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rate", type=int, default=50_000)
    parser.add_argument("--seconds", type=float, default=5.0)
    args = parser.parse_args()
    events = made_up_recording(args.rate, args.seconds)
    arrivals = []
    now = time.monotonic_ns

    def on_record(kind, record):
        if kind == "quote":
            arrivals.append(now())

    emulator.reset()
    emulator.load_scenario(instruments=[{"full_name": "F.US.EPZ26", "price": 6000.0,
                                         "tick_size": 0.25}])
    gatelink.time = type("NoPause", (), {"sleep": staticmethod(lambda seconds: None)})
    gatelink.Trace = lambda line: None
    gateway = CqgGateway([EP], on_record=on_record)
    with contextlib.redirect_stdout(io.StringIO()):  # the progress log is not the point here
        gateway.connect()
        gateway.gatelink.subscribe_quote("EPZ26")
    emulator.take_quote_times()  # from now on the replay notes when it posts each quote
    try:
        emulator.load_replay(events, speed=1.0, live=False)
        started = time.monotonic()
        emulator.start_live(speed=1.0, step=0.01)
        while not emulator.replay_stats()["finished"]:
            time.sleep(0.05)
        elapsed = time.monotonic() - started
        emulator.stop_live()
        count = -1
        while count != len(arrivals):  # what was posted is handled before the end
            count = len(arrivals)
            time.sleep(0.2)
        stats = emulator.market_stats()
    finally:
        with contextlib.redirect_stdout(io.StringIO()):
            gateway.close()

    first, posted = emulator.take_quote_times()
    unpublished = first + len(posted) - len(arrivals)
    pairs = list(zip(arrivals, posted[unpublished:]))
    latency = [arrived - sent for arrived, sent in pairs[len(pairs) // 10:]]
    assert min(latency) >= 0, "records and quotes out of step"
    sustained = stats["quotes"] / elapsed
    p50, p99 = percentiles(latency)
    print(f"replay: {stats['quotes']:,} quotes posted in {elapsed:.2f} s, {sustained:,.0f}/s "
          f"sustained of {args.rate:,}/s offered, in {stats['batches']:,} batches")
    print(f"quote posted -> process_quote: median {p50:,.0f} us, 99th percentile {p99:,.0f} us "
          f"({len(latency):,} quotes; target p99 <= {TARGET_US:,} us)")
    report_row(f"replayed quote posted to process_quote at {args.rate:,}/s offered",
               f"median {p50:,.0f} us, p99 {p99:,.0f} us", f"{TARGET_US:,} us",
               p99 / TARGET_US, "p99 <= 1 ms", p99 <= TARGET_US)


if __name__ == "__main__":
    main()
