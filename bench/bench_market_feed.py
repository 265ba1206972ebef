"""Quotes per second the live market delivers through the bridge's pump to Python handlers.

Runs the bridge on the emulator, subscribes the three default instruments, starts the live
market at a rate above what can be handled, and counts the quotes the CEL thread's handler sees
over a few seconds of wall time: once with a handler that takes each event's quote count, once
with one that reads every quote's type and price. Prints quotes per second for each and their
ratio to 100,000 quotes per second (the rate the gateway must keep up with).

The live driver posts one batch per step of its clock (10 ms) and skips a step while its last
batch still waits in the queue, so at most the offered rate arrives, and only when the pump
keeps up; the offered rate (quotes per emulated second, default 2,000,000) must therefore be
well above what is handled, or the figure is the driver's pace rather than the delivery's: the
"skipped" count printed shows that it was (none skipped: the pump kept up with the offer).

    .venv/bin/python bench/bench_market_feed.py [seconds] [offered quotes per second]
"""
import contextlib
import io
import sys
import threading
import time

import corvane_emulator as emulator
import win32com.client
from corvane.gateways.cqg.wrapper import ComBridge
from report_rows import report_row

SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 3.0
TARGET = 100_000
OFFERED = float(sys.argv[2]) if len(sys.argv) > 2 else 20 * TARGET
SYMBOLS = ("EPZ26", "ENQZ26", "CLEF27")
# Counted outside the sink's class: assigning a class attribute per event would empty the
# class's attribute cache each time and charge the feed for the handler's own look-ups.
handled = {"quotes": 0}


class CountingSink(ComBridge.CELSinkBase):
    read_quotes = False
    resolved = threading.Semaphore(0)

    def OnInstrumentResolved(self, symbol, cqgInstrument, cqgError):
        instrument = win32com.client.Dispatch(cqgInstrument)
        instrument.DataSubscriptionLevel = win32com.client.constants.dsQuotesAndBBA
        CountingSink.resolved.release()

    def OnInstrumentChanged(self, cqgInstrument, cqgQuotes, cqgInstrumentProperties):
        quotes = win32com.client.Dispatch(cqgQuotes)
        if CountingSink.read_quotes:
            for quote in quotes:
                if quote.IsValid:
                    quote.Type, quote.Price
                handled["quotes"] += 1
        else:
            handled["quotes"] += len(quotes)


def measure(read_quotes):
    CountingSink.read_quotes = read_quotes
    emulator.start_market(OFFERED, ticks_per_second=0)
    time.sleep(0.5)  # warm up
    start_count, start = handled["quotes"], time.perf_counter()
    time.sleep(SECONDS)
    count, elapsed = handled["quotes"] - start_count, time.perf_counter() - start
    emulator.stop_market()
    time.sleep(0.5)  # let the pump drain what was posted
    return count / elapsed


def main():
    emulator.reset()
    bridge = ComBridge.ComBridge()
    with contextlib.redirect_stdout(io.StringIO()):  # the progress log is not the point here
        bridge.Init(CountingSink, None)
    try:
        for symbol in SYMBOLS:
            bridge.cqgCEL.NewInstrument(symbol)
            if not CountingSink.resolved.acquire(timeout=10):
                raise RuntimeError(f"{symbol} was not resolved")
        counted = measure(read_quotes=False)
        read = measure(read_quotes=True)
    finally:
        with contextlib.redirect_stdout(io.StringIO()):
            bridge.Shutdown()
    stats = emulator.market_stats()
    print(f"posted: {stats['quotes']} quotes in {stats['events']} events, "
          f"{stats['batches']} batches; skipped: {stats['quotes_skipped']} quotes")
    print(f"handler counting quotes:  {counted:,.0f} quotes/s, {counted / TARGET:.2f}x of 100,000/s")
    print(f"handler reading quotes:   {read:,.0f} quotes/s, {read / TARGET:.2f}x of 100,000/s")
    for what, rate in (("counting", counted), ("reading type and price of", read)):
        report_row(f"live feed through the pump, a handler {what} each quote",
                   f"{rate:,.0f} quotes/s", "100,000 quotes/s", rate / TARGET)


if __name__ == "__main__":
    main()
