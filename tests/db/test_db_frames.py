"""select_records gives the very frame pandas.DataFrame(rows, columns=names) would."""
import sqlite3
from contextlib import closing

import pandas as pd
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

INTS = st.integers(-(2**63), 2**63 - 1)
FLOATS = st.floats(allow_nan=False)
TEXTS = st.text(max_size=5)
NONE = st.none()
COLUMN_KINDS = [INTS, FLOATS, TEXTS, st.one_of(INTS, NONE), st.one_of(INTS, FLOATS),
                st.one_of(TEXTS, NONE), NONE, st.one_of(INTS, FLOATS, TEXTS, st.binary(), NONE)]


@st.composite
def tables(draw):
    kinds = draw(st.lists(st.sampled_from(COLUMN_KINDS), min_size=1, max_size=4))
    row = st.tuples(*kinds)
    return len(kinds), draw(st.lists(row, max_size=6))


def expected_frame(db_dir, sql, row_factory=None):
    with closing(sqlite3.connect(db_dir / "corvane.db")) as plain:
        plain.row_factory = row_factory
        cursor = plain.execute(sql)
        return pd.DataFrame(cursor.fetchall(), columns=[d[0] for d in cursor.description])


@settings(max_examples=80, deadline=None,
          suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(table=tables())
def test_frame_matches_pandas_for_any_column_contents(store, db_dir, table):
    width, rows = table
    names = [f"c{i}" for i in range(width)]
    store.execute("DROP TABLE IF EXISTS probe")
    store.execute(f"CREATE TABLE probe ({', '.join(names)})")
    for row in rows:
        store.execute(f"INSERT INTO probe VALUES ({', '.join('?' * width)})", row)
    frame = store.select_records("probe")
    pd.testing.assert_frame_equal(frame, expected_frame(db_dir, "SELECT * FROM probe "),
                                  check_exact=True)
    assert frame.columns.dtype == expected_frame(db_dir, "SELECT * FROM probe ").columns.dtype


def test_repeated_columns_and_row_factories_give_the_pandas_frame(store, db_dir):
    store.execute("CREATE TABLE probe (a, b)")
    store.execute("INSERT INTO probe VALUES (1, 'x'), (2, 'y')")
    pd.testing.assert_frame_equal(store.select_records("probe", ["a", "b", "a"]),
                                  expected_frame(db_dir, "SELECT a,b,a FROM probe "))
    store.conn.row_factory = sqlite3.Row
    store.cursor = store.conn.cursor()
    pd.testing.assert_frame_equal(store.select_records("probe"),
                                  expected_frame(db_dir, "SELECT * FROM probe ", sqlite3.Row))
