"""Memory over a million CQGCEL events delivered through the bridge to a Python sink.

Runs the bridge on the emulator, fires `LineTimeChanged` events in rounds of 100,000 and,
after each round, prints the events handled, the peak resident size and the number of live
objects; then the ratio of the last round's figures to the first's (1.0 means no growth).

    .venv/bin/python bench/soak_com_events.py [rounds]
"""
import contextlib
import gc
import io
import resource
import sys
import threading

import corvane_emulator as emulator
from corvane.gateways.cqg.wrapper import ComBridge

ROUNDS = int(sys.argv[1]) if len(sys.argv) > 1 else 10
PER_ROUND = 100_000

round_done = threading.Event()


class CountingSink(ComBridge.CELSinkBase):
    handled = 0

    def OnLineTimeChanged(self, newLineTime):
        CountingSink.handled += 1
        if CountingSink.handled % PER_ROUND == 0:
            round_done.set()


def peak_rss_kib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def main():
    emulator.reset()
    bridge = ComBridge.ComBridge()
    with contextlib.redirect_stdout(io.StringIO()):  # the progress log is not the point here
        bridge.Init(CountingSink, None)
    figures = []
    try:
        for number in range(ROUNDS):
            round_done.clear()
            for i in range(PER_ROUND):
                emulator.fire_event("LineTimeChanged", i)
            if not round_done.wait(120):
                raise RuntimeError("the sink stopped receiving events")
            gc.collect()
            figures.append((peak_rss_kib(), len(gc.get_objects())))
            print(f"round {number}: {CountingSink.handled} events, peak RSS {figures[-1][0]} KiB, "
                  f"{figures[-1][1]} live objects", flush=True)
    finally:
        with contextlib.redirect_stdout(io.StringIO()):
            bridge.Shutdown()
    (rss0, objects0), (rss1, objects1) = figures[0], figures[-1]
    print(f"last/first round: peak RSS {rss1 / rss0:.3f}x, live objects {objects1 / objects0:.3f}x")


if __name__ == "__main__":
    main()
