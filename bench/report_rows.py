"""Machine-readable figures of a benchmark, collected by bench/report.py.

A benchmark calls `report_row` once for each figure it measures against a reference in the
same run. On its own the script prints only its own lines; run by the report (which sets
CORVANE_BENCH_ROWS) each row is also printed as one tagged JSON line for the report to pick up.
"""
import json
import os

TAG = "BENCH-ROW "
ENABLED = os.environ.get("CORVANE_BENCH_ROWS") == "1"


def report_row(benchmark, figure, reference, ratio, target=None, met=None):
    """One row: what was measured and its figure (text with its unit), the reference measured
    beside it (text), their ratio, the target (text, or None when there is none yet) and
    whether it was met (None without a target)."""
    if ENABLED:
        print(TAG + json.dumps(dict(benchmark=benchmark, figure=figure, reference=reference,
                                    ratio=ratio, target=target, met=met)), flush=True)


def parse_rows(output):
    """The rows among a benchmark's output lines."""
    return [json.loads(line[len(TAG):]) for line in output.splitlines() if line.startswith(TAG)]
