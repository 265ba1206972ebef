"""make bench's report: every benchmark script's rows in one table, failures shown as such."""
import pathlib
import shutil
import subprocess
import sys
import textwrap

BENCH = pathlib.Path(__file__).resolve().parents[1] / "bench"


def run_report(folder, scripts):
    for name in ("report.py", "report_rows.py"):
        shutil.copy(BENCH / name, folder / name)
    for name, body in scripts.items():
        (folder / name).write_text(textwrap.dedent(body))
    return subprocess.run([sys.executable, str(folder / "report.py")], capture_output=True,
                          text=True, timeout=60)


def test_rows_of_every_script_land_in_one_table(tmp_path):
    run = run_report(tmp_path, {
        "bench_fast.py": """
            from report_rows import report_row
            print("its own line")
            report_row("fast path", "2.0 us", "slow path 4.0 us", 0.5, "<= 1.0x", True)
            report_row("fast path, spaced", "3.0 us", "slow path 3.0 us", 1.0)
        """,
        "soak_slow.py": """
            from report_rows import report_row
            report_row("slow soak", "9 KiB", "first round 3 KiB", 3.0, "<= 1.1x", False)
        """,
        "helper.py": "raise SystemExit('not a benchmark: never run')\n",
    })
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert "its own line" not in run.stdout
    (fast,) = [line for line in lines if line.startswith("fast path ")]
    assert [cell.strip() for cell in fast.split("|")] == [
        "fast path", "2.0 us", "slow path 4.0 us", "0.500x", "<= 1.0x", "yes"]
    (spaced,) = [line for line in lines if line.startswith("fast path, spaced")]
    assert [cell.strip() for cell in spaced.split("|")][-2:] == ["-", "-"]
    (slow,) = [line for line in lines if line.startswith("slow soak")]
    assert slow.split("|")[-1].strip() == "NO"
    assert "1 of 2 targets met" in run.stdout


def test_a_benchmark_that_fails_or_reports_nothing_fails_the_report(tmp_path):
    run = run_report(tmp_path, {
        "bench_broken.py": """
            from report_rows import report_row
            report_row("before the fault", "1 us", "1 us", 1.0, "<= 1.0x", True)
            raise RuntimeError("the owner thread did not start")
        """,
        "bench_silent.py": "print('no rows')\n",
    })
    assert run.returncode == 1
    rows = {line.split("|")[0].strip(): line for line in run.stdout.splitlines()}
    assert "before the fault" in rows
    assert "FAILED" in rows["bench_broken.py"]
    assert "RuntimeError: the owner thread did not start" in rows["bench_broken.py"]
    assert "reported no row" in rows["bench_silent.py"]
