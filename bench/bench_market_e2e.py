"""Quotes per second from the live emulated market through the bridge's pump and GATELINK to
the gateway's process_quote, and the resident memory they leave behind.

The gateway follows the three default instruments and counts its records instead of keeping
them. The live market posts quotes at --rate (what falls due while its last batch still waits
in the bridge thread's queue is skipped, and counted); the default rate is twice the target, so
that the figure is what the path can carry rather than what was offered. The run lasts until
one million quotes have reached process_quote. Prints the rate (against the 100,000 quotes/s
target) and the growth of resident memory between the 100,000th and the last quote (against
the 2 MB target).

    .venv/bin/python bench/bench_market_e2e.py [--quotes 1000000] [--rate 200000]
"""
import argparse
import contextlib
import io
import time

import corvane_emulator as emulator
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway
from report_rows import report_row

SYMBOLS = ("EPZ26", "ENQZ26", "CLEF27")


def resident_kib():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quotes", type=int, default=1_000_000)
    parser.add_argument("--rate", type=int, default=200_000)
    args = parser.parse_args()
    emulator.reset()
    gateway = CqgGateway([Futures(code=s, security_name=s) for s in SYMBOLS])
    with contextlib.redirect_stdout(io.StringIO()):  # the progress log is not the point here
        gateway.connect()
        for symbol in SYMBOLS:
            gateway.gatelink.subscribe_quote(symbol)
    received = gateway.received
    try:
        emulator.start_market(args.rate, ticks_per_second=0)
        while received["quote"] < 100_000:
            time.sleep(0.01)
        start_count, start, start_rss = received["quote"], time.perf_counter(), resident_kib()
        while received["quote"] < args.quotes:
            time.sleep(0.05)
        handled, elapsed = received["quote"] - start_count, time.perf_counter() - start
        growth = resident_kib() - start_rss
        emulator.stop_market()
        skipped = emulator.market_stats()["quotes_skipped"]
    finally:
        with contextlib.redirect_stdout(io.StringIO()):
            gateway.close()
    rate = handled / elapsed
    print(f"{handled:,} quotes to process_quote in {elapsed:.2f} s: {rate:,.0f} quotes/s, "
          f"{rate / 100_000:.2f}x of 100,000/s (target >= 1x)")
    print(f"quotes the live market skipped while its last batch was queued: {skipped:,}")
    print(f"resident memory growth after the first 100,000 quotes: {growth / 1024:.2f} MB "
          f"(target < 2 MB)")
    report_row("quotes end to end, live market to process_quote", f"{rate:,.0f} quotes/s",
               "100,000 quotes/s", rate / 100_000, ">= 1x", rate >= 100_000)
    report_row(f"resident memory growth over {handled:,} quotes", f"{growth / 1024:.2f} MB",
               "2 MB", growth / 1024 / 2, "< 2 MB", growth / 1024 < 2)


if __name__ == "__main__":
    main()
