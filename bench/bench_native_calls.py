"""Calling a native event handler against calling a pure-Python one, measured side by side.

The native side is CELSinkBase.OnInstrumentChanged (a C++ no-op that reports its real
signature); the floor is a Python class's no-op method with the same parameters. Both are
called as the event dispatch calls a sink's handler (looked up on the instance by name,
then called with the event's arguments) and as a plain method call. Rounds alternate
between the two sides; the figures are medians.

    .venv/bin/python bench/bench_native_calls.py [--calls 200000] [--rounds 15]
"""
import argparse
import statistics
import time

from corvane.gateways.cqg.wrapper.ComBridge import CELSinkBase
from report_rows import report_row


class PythonSink:
    def OnInstrumentChanged(self, cqgInstrument, cqgQuotes, cqgInstrumentProperties):
        pass


def dispatched(sink, calls):
    args = (1, 2, 3)
    start = time.perf_counter()
    for _ in range(calls):
        getattr(sink, "OnInstrumentChanged")(*args)
    return time.perf_counter() - start


def method_calls(sink, calls):
    start = time.perf_counter()
    for _ in range(calls):
        sink.OnInstrumentChanged(1, 2, 3)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--calls", type=int, default=200_000)
    parser.add_argument("--rounds", type=int, default=15)
    options = parser.parse_args()

    native, python = CELSinkBase(), PythonSink()
    for name, measure in (("dispatched by name", dispatched), ("method call", method_calls)):
        native_times, python_times = [], []
        for _ in range(options.rounds):
            native_times.append(measure(native, options.calls))
            python_times.append(measure(python, options.calls))
        ratio = statistics.median(native_times) / statistics.median(python_times)
        report_row(f"native sink handler, {name}",
                   f"{statistics.median(native_times) / options.calls * 1e9:.0f} ns/call",
                   f"pure-Python handler {statistics.median(python_times) / options.calls * 1e9:.0f}"
                   " ns/call", ratio)
        print(f"{name}: native handler / pure-Python handler = {ratio:.2f}")


if __name__ == "__main__":
    main()
