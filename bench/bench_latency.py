"""Latency from the emulator posting a quote to process_quote receiving it, and from the
matching engine making a fill to process_deal receiving it, under a steady quote load.

The live market streams one instrument at --rate quotes/s for --seconds while market orders
are placed one after another, each quote posted when it falls due; the emulator stamps each
valid quote when it posts it and each fill when it makes it (time.monotonic_ns()) and the
gateway's callback stamps its arrival. GATELINK publishes one record per valid quote once the
first quotes have made the record whole, so the n-th record received is the (n + those
first)-th quote posted. The first tenth of the run is left out.
Prints the median and 99th percentile of both (the quotes' against the 1 ms target), and the
rate the market sustained.

    .venv/bin/python bench/bench_latency.py [--rate 50000] [--seconds 5]
"""
import argparse
import contextlib
import io
import statistics
import time

import corvane_emulator as emulator
from corvane.core.constants import Direction, OrderType
from corvane.core.order import Order
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway
from corvane.gateways.cqg.wrapper import gatelink
from report_rows import report_row

EP = Futures(code="EPZ26", security_name="EPZ26")


def percentiles(nanoseconds):
    values = sorted(nanoseconds)
    return (statistics.median(values) / 1000, values[int(len(values) * 0.99)] / 1000)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rate", type=int, default=50_000)
    parser.add_argument("--seconds", type=float, default=5.0)
    args = parser.parse_args()
    quote_arrivals, deal_arrivals = [], {}
    now = time.monotonic_ns

    def on_record(kind, record):
        if kind == "quote":
            quote_arrivals.append(now())
        elif kind == "deal":
            deal_arrivals[record["deal_id"]] = now()

    emulator.reset()
    gatelink.time = type("NoPause", (), {"sleep": staticmethod(lambda seconds: None)})
    gatelink.Trace = lambda line: None
    gateway = CqgGateway([EP], on_record=on_record)
    with contextlib.redirect_stdout(io.StringIO()):  # the progress log is not the point here
        gateway.connect()
        gateway.gatelink.Logon("trader", "secret")
        gateway.gatelink.subscribe_account_and_positions(1001)
        gateway.gatelink.subscribe_quote("EPZ26")
    emulator.take_quote_times()  # from now on the feed notes when it makes each quote
    try:
        emulator.start_market(args.rate, ticks_per_second=0)
        started = time.monotonic()
        side = Direction.LONG
        while time.monotonic() - started < args.seconds:
            gateway.place_order(Order(EP, OrderType.MARKET, side, 1))
            side = Direction.SHORT if side == Direction.LONG else Direction.LONG
            time.sleep(0.005)
        elapsed = time.monotonic() - started
        emulator.stop_market()
        stats = emulator.market_stats()
        count = -1
        while count != len(quote_arrivals):  # what was posted is handled before the end
            count = len(quote_arrivals)
            time.sleep(0.2)
    finally:
        with contextlib.redirect_stdout(io.StringIO()):
            gateway.close()

    first, made = emulator.take_quote_times()
    unpublished = first + len(made) - len(quote_arrivals)
    pairs = list(zip(quote_arrivals, made[unpublished:]))
    quote_latency = [arrived - produced for arrived, produced in pairs[len(pairs) // 10:]]
    assert min(quote_latency) >= 0, "records and quotes out of step"
    fills = [f for f in emulator.fills() if f["id"] in deal_arrivals]
    fills = fills[len(fills) // 10:]
    deal_latency = [deal_arrivals[f["id"]] - f["made_ns"] for f in fills]
    sustained = stats["quotes"] / elapsed
    q50, q99 = percentiles(quote_latency)
    d50, d99 = percentiles(deal_latency)
    print(f"quotes: {stats['quotes']:,} posted in {elapsed:.1f} s in {stats['batches']:,} batches, "
          f"{sustained:,.0f}/s sustained "
          f"of {args.rate:,}/s asked ({stats['quotes_skipped']:,} skipped while a batch waited)")
    print(f"quote posted -> process_quote: median {q50:,.0f} us, 99th percentile {q99:,.0f} us "
          f"({len(quote_latency):,} quotes; target p99 <= 1,000 us)")
    print(f"fill made -> process_deal:   median {d50:,.0f} us, 99th percentile {d99:,.0f} us "
          f"({len(deal_latency):,} fills)")
    load = f"under {sustained:,.0f} quotes/s"
    report_row(f"live quote posted to process_quote at {args.rate:,}/s offered",
               f"median {q50:,.0f} us, p99 {q99:,.0f} us", "1,000 us", q99 / 1000,
               "p99 <= 1 ms", q99 <= 1000)
    report_row("fill to process_deal latency", f"median {d50:,.0f} us, p99 {d99:,.0f} us",
               load, d99 / d50)


if __name__ == "__main__":
    main()
