"""A session recorded through the real bridge, the gateway and the emulated market: what the
gateway received is what the recording holds; and a recording process killed mid-session
leaves a recording that opens, reads up to its last written second and says it was cut."""
import os
import subprocess
import sys
import textwrap
import time

import pandas as pd
import pytest

import corvane_emulator as emu
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway
from corvane.recording import Recorder, open_recording

pytestmark = pytest.mark.timeout(60)

EP = Futures(code="EPZ26", security_name="E-mini S&P 500 Dec 26")
CL = Futures(code="CLEF27", security_name="Crude oil Jan 27")


@pytest.fixture
def gateway(capfd):
    emu.reset()
    gw = CqgGateway([EP, CL], history=100_000)
    gw.connect()
    yield gw
    gw.close()
    emu.reset()


def settle(gateway):
    gateway.comBridge.cqgCEL.Instruments  # queued behind what the market posted


def test_the_recording_holds_what_the_gateway_received(gateway, tmp_path):
    link = gateway.gatelink
    recorder = Recorder(tmp_path / "session.rec").attach(gateway)
    link.subscribe_quote("EPZ26")
    link.subscribe_quote("CLEF27")
    link.subscribe_orderbook("EPZ26")
    emu.push_quotes("EPZ26", [("qtBid", 5999.75), ("qtTrade", 1.0, False), ("qtAsk", 6000.25)])
    emu.push_quotes("CLEF27", [("qtTrade", 69.82), ("qtMarker", 70.0)])
    emu.push_ticks("EPZ26", [("tptAsk", 6000.25, 5), ("tptBid", 5999.5, 3)])
    emu.push_quotes("EPZ26", [("qtTodayMarker", 6000.0), ("qtTrade", 6000.0)])
    settle(gateway)
    recorder.close()
    assert not hasattr(gateway, "market_recorder")

    recording = open_recording(tmp_path / "session.rec")
    assert not recording.cut
    assert recording.meta["instruments"] == ["F.US.EPZ26", "F.US.CLEF27"]
    events = list(recording.events())
    quotes = [(e[2], e[3], e[4], e[6]) for e in events if e[0] == "quote"]
    assert quotes == [("F.US.EPZ26", "qtBid", 5999.75, True), ("F.US.EPZ26", "qtTrade", 1.0, False),
                      ("F.US.EPZ26", "qtAsk", 6000.25, True), ("F.US.CLEF27", "qtTrade", 69.82, True),
                      ("F.US.CLEF27", "qtMarker", 70.0, True),
                      ("F.US.EPZ26", "qtTodayMarker", 6000.0, True),
                      ("F.US.EPZ26", "qtTrade", 6000.0, True)]
    ticks = [e[2:] for e in events if e[0] == "tick"]
    assert [t[0] for t in ticks] == ["F.US.EPZ26"] * 2
    assert [t[1:] for t in ticks][-2:] == [("tptAsk", 6000.25, 5.0), ("tptBid", 5999.5, 3.0)]
    # Recorded order is arrival order: the ticks between the two EPZ26 quote events.
    kinds = [e[0] for e in events]
    assert kinds.index("tick") > 4 and kinds[-1] == "quote"
    # The gateway published as it does unrecorded: bid+ask, the CL trade and marker, the
    # EP marker and trade.
    assert [q.last_price for q in gateway.quotes] == [0, 69.82, 69.82, 0, 6000.0]
    assert len(pd.read_parquet(tmp_path / "session.rec" / "quotes")) == 7


CHILD = textwrap.dedent("""
    import contextlib, io, sys, time
    import corvane_emulator as emu
    from corvane.core.security import Futures
    from corvane.gateways.cqg.gateway import CqgGateway
    from corvane.recording import Recorder

    symbols = ("EPZ26", "CLEF27")
    gateway = CqgGateway([Futures(code=s, security_name=s) for s in symbols])
    recorder = Recorder(sys.argv[1], flush_interval=0.2).attach(gateway)
    with contextlib.redirect_stdout(io.StringIO()):
        gateway.connect()
        for symbol in symbols:
            gateway.gatelink.subscribe_quote(symbol)
            gateway.gatelink.subscribe_orderbook(symbol)
    emu.start_market(20000, ticks_per_second=2000)
    print("running", flush=True)
    time.sleep(60)
""")


def test_a_recording_process_killed_mid_session_leaves_a_cut_recording(tmp_path):
    folder = tmp_path / "killed.rec"
    child = subprocess.Popen([sys.executable, "-c", CHILD, str(folder)],
                             stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline().strip() == "running"
        deadline = time.monotonic() + 30
        while len(os.listdir(folder / "quotes")) < 3 and time.monotonic() < deadline:
            time.sleep(0.05)
        child.kill()  # no close, no last flush, maybe in the middle of writing a part
        child.wait(10)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert child.returncode != 0

    recording = open_recording(folder)
    assert recording.cut and recording.meta["ended"] is None
    assert sorted(recording.meta["instruments"]) == ["F.US.CLEF27", "F.US.EPZ26"]
    events = list(recording.events())
    frame = pd.read_parquet(folder / "quotes")
    assert len(frame) >= 2 and len([e for e in events if e[0] == "quote"]) == len(frame)
    assert {e[0] for e in events} == {"quote", "tick"}
    received = frame["received"].tolist()
    assert received == sorted(received)
