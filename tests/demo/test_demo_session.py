"""A short session of the demo, run once: the market trades on the emulator, the chat user
is answered, the store holds what the engine saw, and nothing is left running."""
import threading
from datetime import datetime, timedelta

import pytest
from rich.console import Console

import corvane_emulator as emu
from corvane.demo.scenario import STRANGER_CHAT_ID
from corvane.demo.session import Options, run_session

pytestmark = pytest.mark.timeout(120)

needs_orders = pytest.mark.skipif(not hasattr(emu, "orders"),
                                  reason="the emulator has no matching engine yet")


@pytest.fixture(scope="module")
def session(tmp_path_factory):
    folder = tmp_path_factory.mktemp("session")
    before = set(threading.enumerate())
    began = datetime.now().replace(microsecond=0)
    console = Console(file=open(folder / "console.txt", "w"), width=120)
    options = Options(duration=8.0, speed=60.0, symbols=("EPZ26", "CLEF27"), seed=3,
                      db_dir=folder, record=folder / "session.rec")
    result = run_session(options, console)
    console.file.close()
    started = [t for t in threading.enumerate() if t not in before]
    result.began = began
    return result, started


def test_nothing_is_left_running(session):
    result, started = session
    # The bridge's CEL thread, the bot library's threads, the local server, the chat user,
    # the status printer and the chart's import have all ended.
    assert started == [] and result.threads_left == []
    assert not emu.is_live()


def test_every_chat_command_is_answered_and_the_stranger_ignored(session):
    result, _ = session
    assert result.unanswered == []
    by_stranger = [turn for turn in result.transcript if turn.chat_id == STRANGER_CHAT_ID]
    assert by_stranger and all(turn.replies == [] for turn in by_stranger)
    # The bot's acknowledgement and the engine's answer are sent from two threads, so a
    # busy machine may deliver the answer first.
    replies = {turn.sent.split()[0]: turn.replies for turn in result.transcript
               if turn.chat_id != STRANGER_CHAT_ID}
    assert any(r.startswith("Balance: cash 100000.00") for r in replies["/balance"])
    assert any(r.startswith("Stopping") for r in replies["/stop"])
    assert result.engine.stop_reason == "stopped from the chat"


def test_the_store_holds_what_the_engine_saw(session):
    result, _ = session
    engine, stored = result.engine, result.stored
    assert len(stored["balance"]) == engine.rows_written["balance"] >= 2
    orders = {row["broker_order_id"]: row for row in stored["trading_order"]}
    assert set(orders) == set(engine.orders)
    for guid, order in engine.orders.items():
        row = orders[guid]
        assert (row["id"], row["status"], row["filled_quantity"]) == (
            order.row_id, order.status.value, order.filled_quantity)
    deals = {row["broker_deal_id"]: row for row in stored["trading_deal"]}
    assert set(deals) == set(engine.deals)
    for deal_id, deal in engine.deals.items():
        row = deals[deal_id]
        assert (row["order_id"], row["filled_quantity"], row["filled_avg_price"]) == (
            deal.order.row_id, deal.quantity, deal.price)
    assert len(stored["position"]) == engine.rows_written["position"]


def test_the_stored_times_read_as_one_session(session):
    # Created at the engine's local time, updated at CQG's (the emulated clock, sped up):
    # all of them from the session's start on, none before it began.
    result, _ = session
    stamps = [row[column] for table, column in [
        ("trading_order", "create_time"), ("trading_order", "update_time"),
        ("trading_deal", "update_time"), ("balance", "update_time")]
        for row in result.stored[table]]
    assert stamps
    latest = result.began + timedelta(hours=2)  # a minute of session runs an hour on the clock
    earliest = result.began - timedelta(minutes=2)  # a bar's stamp is its minute's start
    assert all(earliest <= datetime.fromisoformat(stamp) <= latest for stamp in stamps), stamps


@needs_orders
def test_orders_were_filled_and_every_table_has_rows(session):
    result, _ = session
    engine = result.engine
    assert list(engine.failed_placements) == []
    # The strategy trades only when its averages cross, which a short session may not see;
    # the chat user's market order fills whatever the walk does.
    from_chat = [o for o in engine.orders.values()
                 if o.origin == "chat" and o.order_type.value == "MARKET"]
    assert from_chat and all(o.status.value == "FILLED" for o in from_chat)
    assert all(result.stored[table] for table in result.stored)
    assert sum(d.quantity for d in engine.deals.values()) == sum(
        o.filled_quantity for o in engine.orders.values())


def test_the_chart_is_written(session):
    result, _ = session
    assert result.chart == result.folder / "demo-chart.png"
    with open(result.chart, "rb") as chart:
        assert chart.read(8) == b"\x89PNG\r\n\x1a\n"


def test_the_session_is_recorded(session):
    from corvane.recording import open_recording
    result, _ = session
    recording = open_recording(result.recorder.path)
    assert not recording.cut
    assert sorted(recording.meta["instruments"]) == ["F.US.CLEF27", "F.US.EPZ26"]
    kinds = {}
    for event in recording.events():
        kinds[event[0]] = kinds.get(event[0], 0) + 1
    # Every quote the engine got was one the recording holds (which also has those the
    # gateway kept without publishing); the bar history came with the subscriptions.
    assert kinds["quote"] == result.recorder.counts["quotes"] >= result.engine.quote_count > 0
    assert kinds["tick"] > 0 and kinds["bar"] >= 2 * 10


def test_record_wants_a_new_folder(tmp_path, capsys):
    from corvane.demo.cli import parse_options
    (tmp_path / "taken.rec").mkdir()
    (tmp_path / "taken.rec" / "meta.json").write_text("{}")
    with pytest.raises(SystemExit):
        parse_options(["--record", str(tmp_path / "taken.rec")])
    assert "needs a new folder" in capsys.readouterr().err
    _, options = parse_options(["--record", str(tmp_path / "new.rec")])
    assert options.record == tmp_path / "new.rec"
