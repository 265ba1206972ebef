"""Runs every benchmark in bench/ and prints one table of its figures against their targets.

A benchmark is any bench_*.py or soak_*.py script here; each runs on its own in a fresh
interpreter with its default arguments and reports its rows through report_rows.report_row.
A new benchmark needs nothing more to appear in the table.

    .venv/bin/python bench/report.py [name-part ...]     (make bench runs them all)

Exits non-zero when a benchmark fails to run or reports no row; unmet targets are shown in
the table, not treated as failures (some targets belong to work still under way).
"""
import os
import pathlib
import subprocess
import sys
import time

from report_rows import parse_rows

HERE = pathlib.Path(__file__).resolve().parent
TIMEOUT = 240  # seconds for one benchmark; the whole report is meant to stay under five minutes
COLUMNS = ("benchmark", "figure", "reference", "ratio", "target", "met")


def benchmark_scripts(name_parts):
    scripts = sorted(p for pattern in ("bench_*.py", "soak_*.py") for p in HERE.glob(pattern))
    if name_parts:
        scripts = [s for s in scripts if any(part in s.name for part in name_parts)]
    return scripts


def run_script(script):
    """The script's rows, or one row saying why it gave none."""
    environment = dict(os.environ, CORVANE_BENCH_ROWS="1")
    started = time.perf_counter()
    try:
        run = subprocess.run([sys.executable, str(script)], capture_output=True, text=True,
                             timeout=TIMEOUT, env=environment, cwd=HERE.parent)
    except subprocess.TimeoutExpired as timeout:
        output = timeout.stdout or ""
        if isinstance(output, bytes):
            output = output.decode(errors="replace")
        # The rows it reported before it was stopped still count.
        return parse_rows(output) + [failure_row(script, f"no end within {TIMEOUT} s")], TIMEOUT
    seconds = time.perf_counter() - started
    rows = parse_rows(run.stdout)
    if run.returncode != 0:
        last = (run.stderr.strip().splitlines() or ["no output"])[-1]
        return rows + [failure_row(script, f"exit {run.returncode}: {last}")], seconds
    if not rows:
        return [failure_row(script, "reported no row")], seconds
    return rows, seconds


def failure_row(script, reason):
    return dict(benchmark=script.name, figure="FAILED", reference=reason, ratio=None,
                target=None, met=False, failed=True)


def cells(row):
    ratio = row.get("ratio")
    met = row.get("met")
    return (row["benchmark"], row["figure"], row["reference"],
            "" if ratio is None else f"{ratio:.3f}x", row.get("target") or "-",
            "-" if met is None else ("yes" if met else "NO"))


def table(rows):
    lines = [COLUMNS] + [cells(row) for row in rows]
    widths = [max(len(line[i]) for line in lines) for i in range(len(COLUMNS))]
    rule = "-+-".join("-" * w for w in widths)
    text = [" | ".join(c.ljust(w) for c, w in zip(line, widths)) for line in lines]
    return "\n".join([text[0], rule] + text[1:])


def main():
    rows, started = [], time.perf_counter()
    for script in benchmark_scripts(sys.argv[1:]):
        print(f"running {script.name} ...", end=" ", file=sys.stderr, flush=True)
        script_rows, seconds = run_script(script)
        print(f"{seconds:.0f} s", file=sys.stderr, flush=True)
        rows += script_rows
    print(table(rows))
    with_target = [r for r in rows if r.get("met") is not None and not r.get("failed")]
    met = sum(1 for r in with_target if r["met"])
    print(f"\n{met} of {len(with_target)} targets met; "
          f"{time.perf_counter() - started:.0f} s in all")
    return 1 if any(r.get("failed") for r in rows) else 0


if __name__ == "__main__":
    sys.exit(main())
