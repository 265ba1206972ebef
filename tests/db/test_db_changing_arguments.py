"""Callers whose values run Python code while they are converted: the statement is for what
the caller passed, whatever that code does to the mapping or list meanwhile. Each case runs
in a child process, so a crash fails the test instead of ending the run."""
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

CHILD_PRELUDE = """
import datetime, sqlite3, sys
import numpy as np
sys.path.insert(0, {config_dir!r})
sys.path.insert(0, {tests_dir!r})
from corvane.plugins.sqlite3 import db
from db_samples import BALANCE
store = db.DB()
store.insert_records("balance", **BALANCE)
def row():
    store.cursor.execute("SELECT cash, remark, max_power_short, update_time FROM balance")
    return store.cursor.fetchall()
"""

CASES = {
    # A value whose type check empties the mapping it came from.
    "update_type_check_empties_columns": """
class Lazy:
    @property
    def __class__(self):
        cols.clear()
        return np.int64
    def __int__(self):
        return 7
cols = {"remark": "x", "max_power_short": Lazy()}
store.update_records("balance", cols, id=1)
print(row())
""",
    # Keys made at run time (so only the mapping holds them), freed by a datetime's strftime.
    "update_strftime_empties_columns": """
class Stamp(datetime.datetime):
    def strftime(self, fmt):
        cols.clear()
        return super().strftime(fmt)
cols = {"".join(["re", "mark"]): "x",
        "".join(["update", "_time"]): Stamp(2026, 5, 6, 7, 8, 9)}
store.update_records("balance", cols, id=1)
print(row())
""",
    # A condition value that empties the list of columns to select.
    "select_condition_empties_columns": """
class Lazy:
    @property
    def __class__(self):
        names.clear()
        return np.int64
    def __int__(self):
        return 1
names = ["".join(["ca", "sh"]), "".join(["rem", "ark"])]
frame = store.select_records("balance", names, id=Lazy())
print(list(frame.columns), frame.values.tolist())
""",
}

EXPECTED = {
    "update_type_check_empties_columns": "[(100.0, 'x', 7.0, '2026-01-02 03:04:05')]",
    "update_strftime_empties_columns": "[(100.0, 'x', None, '2026-05-06 07:08:09')]",
    "select_condition_empties_columns": "['cash', 'remark'] [[100.0, None]]",
}


@pytest.mark.parametrize("case", sorted(CASES))
def test_the_statement_is_for_what_the_caller_passed(db_dir, tmp_path, case):
    script = CHILD_PRELUDE.format(
        config_dir=str(tmp_path / "config"), tests_dir=str(Path(__file__).parent)
    ) + textwrap.dedent(CASES[case])
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == EXPECTED[case]
