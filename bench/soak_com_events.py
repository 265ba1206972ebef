"""Memory over a million CQGCEL events delivered through the bridge to a Python sink.

Runs the bridge on the emulator, fires `LineTimeChanged` events in rounds of 100,000 and,
after each round has been handled, prints the events handled, the resident size and the number
of live objects; then the ratio of the last round's figures to the first's (1.0 means no
growth). Events are fired in batches of 1,000, each once the sink has taken the one before:
the memory a backlog needs is kept by the allocator afterwards, so an unbounded backlog
(whose size depends on how the CPUs are shared at the time) would look like growth.

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
from report_rows import report_row

ROUNDS = int(sys.argv[1]) if len(sys.argv) > 1 else 10
PER_ROUND = 100_000
BATCH = 1_000
# Flat: the last round may hold a little more than the first (allocator slack), never a share
# that grows with the events delivered. Over the nine rounds after the first, 10% of the
# resident size is under two bytes an event.
FLAT_RSS, FLAT_OBJECTS = 1.10, 1.01

batch_done = threading.Event()


class CountingSink(ComBridge.CELSinkBase):
    handled = 0

    def OnLineTimeChanged(self, newLineTime):
        CountingSink.handled += 1
        if CountingSink.handled % BATCH == 0:
            batch_done.set()


def rss_kib():
    """The current resident size; the peak where /proc does not tell it."""
    try:
        with open("/proc/self/statm") as statm:
            return int(statm.read().split()[1]) * resource.getpagesize() // 1024
    except OSError:
        return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def main():
    emulator.reset()
    bridge = ComBridge.ComBridge()
    with contextlib.redirect_stdout(io.StringIO()):  # the progress log is not the point here
        bridge.Init(CountingSink, None)
    figures = []
    try:
        for number in range(ROUNDS):
            for first in range(0, PER_ROUND, BATCH):
                batch_done.clear()
                for i in range(first, first + BATCH):
                    emulator.fire_event("LineTimeChanged", i)
                if not batch_done.wait(120):
                    raise RuntimeError("the sink stopped receiving events")
            gc.collect()
            figures.append((rss_kib(), len(gc.get_objects())))
            print(f"round {number}: {CountingSink.handled} events, RSS {figures[-1][0]} KiB, "
                  f"{figures[-1][1]} live objects", flush=True)
    finally:
        with contextlib.redirect_stdout(io.StringIO()):
            bridge.Shutdown()
    (rss0, objects0), (rss1, objects1) = figures[0], figures[-1]
    print(f"last/first round: RSS {rss1 / rss0:.3f}x, live objects {objects1 / objects0:.3f}x")
    events = CountingSink.handled
    report_row(f"soak RSS, {events} events", f"{rss1} KiB last round",
               f"first round {rss0} KiB", rss1 / rss0, f"<= {FLAT_RSS}x (flat)",
               rss1 / rss0 <= FLAT_RSS)
    report_row(f"soak live objects, {events} events", f"{objects1} last round",
               f"first round {objects0}", objects1 / objects0, f"<= {FLAT_OBJECTS}x (flat)",
               objects1 / objects0 <= FLAT_OBJECTS)


if __name__ == "__main__":
    main()
