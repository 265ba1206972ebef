"""The demo on a replayed market: a short recorded session replayed as fast as it goes, a
recording cut mid-write, and a trader's CSV history; the summary names what was replayed."""
import json
import threading

import pytest
from rich.console import Console

import corvane_emulator as emu
from corvane.demo.cli import parse_options
from corvane.demo.report import summary_table
from corvane.demo.session import Options, run_session

pytestmark = pytest.mark.timeout(120)


def session(folder, **options):
    folder.mkdir(parents=True, exist_ok=True)
    console = Console(file=open(folder / "console.txt", "w"), width=120)
    lines = []
    try:
        result = run_session(Options(db_dir=folder, bot=False, chart=False, **options), console,
                             log=lines.append)
    finally:
        console.file.close()
    return result, lines


def summary(result):
    console = Console(width=200, record=True)
    console.print(summary_table(result))
    return console.export_text()


@pytest.fixture(scope="module")
def recorded(tmp_path_factory):
    folder = tmp_path_factory.mktemp("recorded")
    result, _ = session(folder, duration=4.0, speed=60.0, symbols=("EPZ26", "CLEF27"), seed=3,
                        record=folder / "session.rec")
    return result, folder / "session.rec"


def test_a_recorded_session_replays_into_the_engine(recorded, tmp_path, capfd):
    live, path = recorded
    before = set(threading.enumerate())
    result, lines = session(tmp_path, duration=3.0, speed=float("inf"), replay=path)
    assert lines and not any("cut mid-write" in line for line in lines)
    engine = result.engine
    # Every quote the live engine got comes again; the bars start from the recorded history.
    assert engine.quote_count == live.engine.quote_count > 0
    assert {s.code for s in engine.gateway.securities.values()} == {"EPZ26", "CLEF27"}
    assert all(engine.bars[s] for s in engine.gateway.securities.values())
    assert result.replayed.startswith(f"{path} (recording): ")
    assert " UTC, " in result.replayed and result.replayed.endswith(" events")
    assert "replayed" in summary(result)
    assert [t for t in threading.enumerate() if t not in before] == [] and not emu.is_live()


def test_a_cut_recording_replays_with_a_notice(recorded, tmp_path):
    _, path = recorded
    cut = tmp_path / "cut.rec"
    import shutil
    shutil.copytree(path, cut)
    meta = json.loads((cut / "meta.json").read_text())
    meta["ended"] = None  # as a recorder killed before its close leaves it
    (cut / "meta.json").write_text(json.dumps(meta))
    result, lines = session(tmp_path / "run", duration=1.0, speed=float("inf"), replay=cut)
    notices = [line for line in lines if "cut mid-write" in line]
    assert notices == [f"{cut} was cut mid-write (its recorder never closed it): replaying up "
                       f"to its last complete event"]
    assert "(recording, cut)" in result.replayed and result.engine.quote_count > 0


def test_a_csv_history_replays_and_a_bad_row_is_refused(tmp_path):
    history = tmp_path / "history.csv"
    rows = ["time,symbol,kind,price,volume"]
    for i in range(200):
        at = f"2026-12-09T14:30:{i // 10:02d}.{i % 10}00"
        step = i % 5 * 0.25
        rows += [f"{at},ZNH27,bid,{110 + step},5", f"{at},ZNH27,ask,{110.5 + step},7",
                 f"{at},ZNH27,trade,{110.25 + step},"]
    history.write_text("\n".join(rows) + "\n")
    result, _ = session(tmp_path / "run", duration=1.5, speed=float("inf"), replay=history)
    assert result.engine.quote_count == 599  # published from the first full book on
    assert result.replayed.startswith(f"{history} (CSV history): 2026-12-09 14:30:00 to "
                                      f"2026-12-09 14:30:19 UTC, 600 of 600 events")

    bad = tmp_path / "bad.csv"
    bad.write_text("time,symbol,kind,price,volume\n2026-12-09T14:30:00,ZNH27,bid,x,1\n")
    from corvane.demo.cli import main
    assert main(["--replay", str(bad), "--db-dir", str(tmp_path / "bad"), "--no-bot",
                 "--no-chart"]) == 2


def test_replay_wants_something_to_replay(tmp_path, capsys):
    with pytest.raises(SystemExit):
        parse_options(["--replay", str(tmp_path / "missing.rec")])
    assert "no recording or CSV history" in capsys.readouterr().err
    _, options = parse_options(["--replay", str(tmp_path)])
    assert options.replay == tmp_path and options.speed == 1.0
    _, options = parse_options(["--replay", str(tmp_path), "--speed", "inf"])
    assert options.speed == float("inf")
