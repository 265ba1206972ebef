"""Record operations, checked by what ends up in the database file."""
import datetime
import enum
import sqlite3
import subprocess
import sys
import textwrap
from decimal import Decimal

import numpy as np
import pandas as pd
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from db_samples import ORDER


def insert_order(store, **changes):
    store.insert_records("trading_order", **{**ORDER, **changes})


class Side(enum.IntEnum):
    BUY = 1


class Text(str):
    def __str__(self):
        return "not what is stored"


@pytest.mark.parametrize(
    "value, stored",
    [
        ("plain", "plain"),
        (Text("sub"), "sub"),
        (7, 7),
        (-(2**63), -(2**63)),
        (2**63, float(2**63)),  # beyond SQLite's integers: a real, as SQLite reads it
        (True, 1),
        (False, 0),
        (Side.BUY, 1),
        (np.int64(-12), -12),
        (1.5, 1.5),
        (0.1, 0.1),
        (np.float64(2.25), 2.25),
        (float("inf"), float("inf")),
        (datetime.datetime(2026, 1, 2, 3, 4, 5, 999999), "2026-01-02 03:04:05"),
        (pd.Timestamp("2026-01-02 03:04:05.5"), "2026-01-02 03:04:05"),
    ],
)
def test_value_is_stored_as_its_sqlite_form(store, read_file, value, stored):
    assert store._parse_sql_value(value) == stored
    store.execute("CREATE TABLE probe (value)")  # no type: keeps whatever is bound
    store.insert_records("probe", value=value)
    ((kept, kind),) = read_file("SELECT value, typeof(value) FROM probe")
    assert kept == stored
    assert kind == {str: "text", int: "integer", float: "real"}[type(stored)]


class Stamp(datetime.datetime):
    def strftime(self, format):
        return "own " + super().strftime(format)


@settings(suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(st.datetimes(min_value=datetime.datetime(1, 1, 1), timezones=st.none() | st.timezones()))
def test_datetime_text_is_what_strftime_writes(store, value):
    # Plain datetimes are written without strftime; the text must not tell the difference,
    # whatever the year, fraction of a second, fold or time zone.
    assert store._parse_sql_value(value) == value.strftime("%Y-%m-%d %H:%M:%S")


@pytest.mark.parametrize("value", [Stamp(2026, 1, 2, 3, 4, 5), Stamp(999, 1, 2)])
def test_datetime_subclass_is_written_by_its_own_strftime(store, value):
    expected = "own " + datetime.datetime.strftime(value, "%Y-%m-%d %H:%M:%S")
    assert store._parse_sql_value(value) == expected


def test_nan_is_refused_naming_its_column_before_any_sql_runs(store, read_file):
    store.execute("CREATE TABLE probe (value, other)")
    store.insert_records("probe", value=1.0, other=2.0)
    for call in (lambda: store.insert_records("probe", other=1.0, value=float("nan")),
                 lambda: insert_order(store, price=np.float64("nan")),
                 lambda: store.update_records("probe", {"other": 3.0, "value": float("nan")}),
                 lambda: store.update_records("probe", {"other": 3.0}, value=float("nan")),
                 lambda: store.delete_records("probe", value=float("nan"))):
        with pytest.raises(ValueError, match=r"'(value|price)'.*NaN cannot be stored"):
            call()
    assert read_file("SELECT value, other FROM probe") == [(1.0, 2.0)]
    assert read_file("SELECT count(*) FROM trading_order") == [(0,)]
    # SQLite keeps infinities, so they are stored as they are.
    store.insert_records("probe", value=float("inf"), other=float("-inf"))
    assert read_file("SELECT value, other FROM probe WHERE rowid=2") == [
        (float("inf"), float("-inf"))]


@pytest.mark.parametrize(
    "value", [None, b"bytes", datetime.date(2026, 1, 2), Decimal("1.5"), np.int32(3),
              np.bool_(True), [1], {"a": 1}],
)
def test_unsupported_value_is_refused_before_anything_is_written(store, read_file, value):
    message = f"Data format is not support! type({value})={type(value)}"
    assert str(pytest.raises(ValueError, store._parse_sql_value, value).value) == message
    with pytest.raises(ValueError) as raised:
        insert_order(store, remark=value)
    assert str(raised.value) == message
    with pytest.raises(ValueError):
        store.update_records("trading_order", {"remark": "x"}, remark=value)
    assert read_file("SELECT count(*) FROM trading_order") == [(0,)]
    assert not store.conn.in_transaction


def test_insert_select_update_delete(store, read_file):
    insert_order(store)
    insert_order(store, broker_order_id="B-2", price=10.5, status="FILLED")
    insert_order(store, broker_order_id="B-3", quantity=5)
    assert read_file("SELECT id, broker_order_id, price, create_time FROM trading_order") == [
        (1, "B-1", 5000.25, "2026-01-02 03:04:05"),
        (2, "B-2", 10.5, "2026-01-02 03:04:05"),
        (3, "B-3", 5000.25, "2026-01-02 03:04:05"),
    ]

    everything = store.select_records("trading_order")
    assert list(everything.columns) == ["id", *ORDER, "remark"]
    assert everything["broker_order_id"].tolist() == ["B-1", "B-2", "B-3"]
    some = store.select_records("trading_order", ["id", "price"], status="SUBMITTED",
                                condition_str="quantity > 2")
    assert some.to_dict("records") == [{"id": 3, "price": 5000.25}]
    none = store.select_records("trading_order", ["id", "status"], id=99)
    assert none.empty and list(none.columns) == ["id", "status"]

    store.update_records("trading_order", {"status": "CANCELLED", "filled_quantity": 1},
                         broker_order_id="B-1")
    store.update_records("trading_order", {"remark": "late"}, condition_str="id >= 2")
    assert read_file("SELECT id, status, filled_quantity, remark FROM trading_order") == [
        (1, "CANCELLED", 1, None), (2, "FILLED", 0, "late"), (3, "SUBMITTED", 0, "late")]

    store.delete_records("trading_order", status="FILLED", remark="late")
    assert read_file("SELECT id FROM trading_order") == [(1,), (3,)]
    store.delete_records("trading_order")
    assert read_file("SELECT count(*) FROM trading_order") == [(0,)]


def test_statements_take_the_shape_of_their_keywords(store):
    assert store._parse_sql_where_condition() == ("", [])
    assert store._parse_sql_where_condition(
        id=1, condition_str="price > 2 OR price < 1", status="OPEN"
    ) == ("WHERE id=? AND price > 2 OR price < 1 AND status=? ", [1, "OPEN"])
    statements = []
    store.conn.set_trace_callback(statements.append)
    store.update_records("trading_order", {"price": 1.0, "quantity": 2}, id=1)
    store.select_records("trading_order", ["id"], status="OPEN")
    store.delete_records("trading_order", id=3)
    store.delete_table("trading_deal")
    store.conn.set_trace_callback(None)
    # The trace shows each statement with its bound values filled in.
    assert [s for s in statements if s not in ("BEGIN ", "COMMIT")] == [
        "UPDATE trading_order SET price=1.0 ,quantity=2 WHERE id=1 ",
        "SELECT id FROM trading_order WHERE status='OPEN' ",
        "DELETE FROM trading_order WHERE id=3 ",
        "DROP TABLE trading_deal",
    ]


def test_a_subclass_sees_the_create_methods_and_every_statement_through_execute(
        db_module, db_dir, read_file):
    seen = []

    class LoggedDB(db_module.DB):
        def execute(self, sql, parameters=None):
            seen.append((sql.split(" (")[0], parameters))
            super().execute(sql, parameters)

        def create_deal_table(self):
            seen.append(("create_deal_table", None))

    store = LoggedDB()
    with pytest.raises(sqlite3.IntegrityError):  # refused by SQLite, once offered
        store.insert_records("balance", cash=1.5)
    store.update_records("position", {"quantity": 2}, id=1)
    store.delete_records("position", id=1)
    store.delete_table("trading_order")
    store.close()
    assert seen == [
        ("CREATE TABLE IF NOT EXISTS balance", None),
        ("CREATE TABLE IF NOT EXISTS position", None),
        ("CREATE TABLE IF NOT EXISTS trading_order", None),
        ("create_deal_table", None),
        ("INSERT INTO balance", [1.5]),
        ("UPDATE position SET quantity=? WHERE id=? ", [2, 1]),
        ("DELETE FROM position WHERE id=? ", [1]),
        ("DROP TABLE trading_order", None),
    ]
    assert read_file("SELECT name FROM sqlite_master WHERE type = 'table'"
                     " AND name != 'sqlite_sequence'") == [("balance",), ("position",)]


def test_execute_runs_any_statement_and_commits_it(store, read_file):
    store.execute("INSERT INTO position (balance_id, security_name, security_code, direction,"
                  " holding_price, quantity, update_time) VALUES (?, ?, ?, ?, ?, ?, ?)",
                  (1, "n", "c", "LONG", 1.0, 3, "t"))
    assert read_file("SELECT quantity FROM position") == [(3,)]
    store.execute("SELECT quantity FROM position")
    assert store.cursor.fetchall() == [(3,)]  # the result is read through the cursor
    store.cursor.execute("UPDATE position SET quantity = 4")
    store.commit()
    assert read_file("SELECT quantity FROM position") == [(4,)]


def test_argument_types_are_checked(store):
    expect = "Argument '{}' has incorrect type (expected {}, got {})"
    cases = [
        (lambda: store.execute(b"SELECT 1"), expect.format("sql", "str", "bytes")),
        (lambda: store.insert_records(1, a=1), expect.format("table_name", "str", "int")),
        (lambda: store.select_records(None), expect.format("table_name", "str", "NoneType")),
        (lambda: store.delete_records(Text("position")),
         expect.format("table_name", "str", "Text")),
        (lambda: store.delete_table(["balance"]), expect.format("table_name", "str", "list")),
        (lambda: store.update_records("balance", [("cash", 1)]),
         expect.format("columns", "dict", "list")),
        (lambda: store.select_records("balance", ("cash",)),
         expect.format("columns", "list", "tuple")),
    ]
    for call, message in cases:
        with pytest.raises(TypeError) as raised:
            call()
        assert str(raised.value) == message


@pytest.mark.parametrize(
    "bad", ["", "1st", "cash;", "cash--", "a b", "a\x00b", "bal-ance", "prix_é", '"id"',
            "id=1 OR 1=1", "*"],
)
def test_names_must_be_plain_identifiers(store, read_file, bad):
    insert_order(store)
    attempts = [
        lambda: store.insert_records(bad, a=1),
        lambda: store.insert_records("trading_order", **{**ORDER, bad: 1}),
        lambda: store.update_records("trading_order", {bad: 1}),
        lambda: store.update_records(bad, {"price": 1}),
        lambda: store.delete_records("trading_order", **{bad: 1}),
        lambda: store.delete_table(bad),
        lambda: store.select_records("trading_order", **{bad: 1}),
        lambda: store._parse_sql_where_condition(**{bad: 1}),
    ]
    if bad != "*":  # "*" is the one select column that is not a name
        attempts.append(lambda: store.select_records("trading_order", ["id", bad]))
    for attempt in attempts:
        with pytest.raises(ValueError, match="Invalid (table|column) name"):
            attempt()
    assert read_file("SELECT count(*), max(price) FROM trading_order") == [(1, 5000.25)]
    assert store.select_records("trading_order", ["*"]).shape == (1, 16)


def test_assertions_guard_empty_inserts_and_updates(store):
    with pytest.raises(AssertionError) as raised:
        store.insert_records("balance")
    assert str(raised.value) == "Must provide columns and values when inserting!"
    with pytest.raises(AssertionError) as raised:
        store.update_records("balance", {}, id=1)
    assert str(raised.value) == "At least one column needs to be updated!"


def test_assertions_are_skipped_under_optimize(db_dir, tmp_path):
    # Without the assertion the empty statement reaches SQLite, which refuses it.
    script = textwrap.dedent(f"""
        import sqlite3, sys
        sys.path.insert(0, {str(tmp_path / "config")!r})
        from corvane.plugins.sqlite3 import db
        store = db.DB()
        for call in (lambda: store.insert_records("balance"),
                     lambda: store.update_records("balance", {{}}, id=1)):
            try:
                call()
            except sqlite3.OperationalError as error:
                print("sqlite3:", error)
    """)
    run = subprocess.run([sys.executable, "-O", "-c", script], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert run.stdout.count("sqlite3: near") == 2


def test_a_closed_db_fails_with_the_sqlite3_error(db_module, store):
    store.close()
    for call in (lambda: store.insert_records("balance", cash=1.0),
                 lambda: store.select_records("balance"),
                 lambda: store.execute("SELECT 1"),
                 lambda: store.close()):
        with pytest.raises(sqlite3.ProgrammingError, match="closed"):
            call()
        assert not db_module.lock.locked()
