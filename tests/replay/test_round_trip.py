"""A seeded emulated session recorded, then replayed on an emulator seeded otherwise: the
framework gets the same quote, order-book and bar records in the same order (every field but
the local time the gateway stamps), and the same orders placed at the same points of the
replay fill at the same prices."""
import dataclasses

import pytest

import corvane_emulator as emu
from corvane.core.constants import Direction, OrderType
from corvane.core.order import Order
from corvane.gateways.cqg.gateway import CqgGateway
from corvane.recording import Recorder, open_recording

from replay_helpers import CL, EP, settle, subscribed

pytestmark = pytest.mark.timeout(120)

INSTRUMENTS = [{"full_name": "F.US.EPZ26", "price": 6000.0, "tick_size": 0.25},
               {"full_name": "F.US.CLEF27", "price": 70.0, "tick_size": 0.01}]
RATE = 50.0          # quotes per emulated second: one update a step
STEP = 1 / RATE
STEPS = 400          # eight emulated seconds, a bar closing every second
# The orders each session places after the step of that number.
ORDERS = {40: (EP, OrderType.MARKET, Direction.LONG, 0.0),
          41: (CL, OrderType.MARKET, Direction.SHORT, 0.0),
          120: (EP, OrderType.MARKET, Direction.SHORT, 0.0),
          121: (EP, OrderType.LIMIT, Direction.LONG, "below"),
          250: (CL, OrderType.LIMIT, Direction.SHORT, "above"),
          300: (CL, OrderType.MARKET, Direction.LONG, 0.0)}


def world(seed):
    emu.reset()
    emu.load_scenario(seed=seed, instruments=INSTRUMENTS, history_bars=30,
                      accounts=[{"id": 1001, "name": "SIM-1001"}])


def order_at(gateway, step):
    security, kind, side, price = ORDERS[step]
    if price in ("below", "above"):  # a limit at the far side of the book: it rests a while
        quote = gateway.cqg_quotes[security]
        price = quote.bid_price if price == "below" else quote.ask_price
    gateway.place_order(Order(security, kind, side, 1, price))
    settle(gateway)


def bar_windows(link):
    return {security.code: [dataclasses.astuple(bar) for bar in link.subscribe_bars_data[security]]
            for security in (EP, CL)}


def records(gateway):
    without_local_time = lambda record: dataclasses.replace(record, datetime=None)
    return ([without_local_time(q) for q in gateway.quotes],
            [without_local_time(b) for b in gateway.orderbooks])


def recorded(recorder, kinds=("quotes", "ticks", "bars")):
    """Events the recorder holds and has not written yet."""
    return sum(recorder.pending(kind) for kind in kinds)


def recorded_session(folder):
    """The live session, recorded, with an order after each step of ORDERS. Returns how many
    replayable events had been recorded after each step, the bar windows the framework held
    then (and before the first), the records and the fill prices."""
    world(seed=3)
    gateway = CqgGateway([EP, CL], history=100_000)
    # Written only at the close, so that the lists count what was recorded at each point.
    recorder = Recorder(folder, flush_interval=3600).attach(gateway)
    try:
        link = subscribed(gateway, "EPZ26", "CLEF27")
        history = recorded(recorder, ["bars"])  # the requests' answers: the replay's history
        windows, counts = [bar_windows(link)], []
        emu.start_market(RATE, ticks_per_second=RATE / 2, bar_seconds=1, live=False)
        for step in range(STEPS):
            emu.advance(STEP)
            settle(gateway)
            counts.append(recorded(recorder) - history)
            windows.append(bar_windows(link))
            if step in ORDERS:
                order_at(gateway, step)
        emu.stop_market()
        settle(gateway)
        return counts, windows, records(gateway), [f["price"] for f in emu.fills()]
    finally:
        recorder.close()
        gateway.close()


def test_a_recorded_session_replays_to_the_same_records_and_fills(quiet, tmp_path):
    counts, live_windows, live_records, live_fills = recorded_session(tmp_path / "session.rec")
    events = list(open_recording(tmp_path / "session.rec").events())
    # The session is worth comparing: orders filled, records of every kind, bars closed.
    assert len(live_fills) == 6 and len(live_records[0]) > 300 and len(live_records[1]) > 100
    assert live_windows[-1] != live_windows[0]

    world(seed=12345)  # another walk: only the recording can give the same market
    gateway = CqgGateway([EP, CL], history=100_000)
    try:
        loaded = emu.load_replay(events, live=False)
        assert loaded["left_out"] == {} and loaded["events"] == counts[-1]
        link = subscribed(gateway, "EPZ26", "CLEF27")
        windows = [bar_windows(link)]
        for step, count in enumerate(counts):
            emu.advance_replay(count - emu.replay_stats()["posted"])
            settle(gateway)
            windows.append(bar_windows(link))
            if step in ORDERS:
                order_at(gateway, step)
        assert emu.replay_stats()["finished"]
        settle(gateway)
        replayed_records = records(gateway)
        replayed_fills = [f["price"] for f in emu.fills()]
    finally:
        gateway.close()

    assert replayed_records[0] == live_records[0]
    assert replayed_records[1] == live_records[1]
    assert windows == live_windows
    assert replayed_fills == live_fills
