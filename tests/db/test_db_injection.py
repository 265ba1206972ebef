"""Values are data, never SQL: whatever text a record holds is stored and read back as it
is, and matches only itself in a condition."""
import pytest
from hypothesis import HealthCheck, assume, given, settings
from hypothesis import strategies as st

from db_samples import ORDER

CORPUS = [
    '"', "'", '""', "''", 'a"b\'c', "x'); DROP TABLE trading_order; --",
    '"); DELETE FROM trading_order; --', "; DELETE FROM trading_order", "-- comment",
    "/* comment */", "status", "remark", "id", '"status"', "' OR 1=1 --", '" OR ""="',
    "\x00", "a\x00b", "?", ":name", "%s", "\\", "\n\r\t", "价格 ñ 🚀 ü", "x" * 100_000,
]

BYSTANDERS = [
    dict(broker_order_id="KEEP-1", status="SUBMITTED", remark="keep"),
    dict(broker_order_id="KEEP-2", status="status", remark="the remark"),
]


def all_rows(read_file):
    return read_file("SELECT * FROM trading_order ORDER BY id")


def check_text_round_trip(store, read_file, value):
    store.delete_records("trading_order")
    for bystander in BYSTANDERS:
        store.insert_records("trading_order", **{**ORDER, **bystander})
    before = all_rows(read_file)

    store.insert_records("trading_order", **{**ORDER, "broker_order_id": value, "remark": value})
    ((new_id, stored_id, stored_remark),) = read_file(
        "SELECT id, broker_order_id, remark FROM trading_order WHERE id > ?", (before[-1][0],))
    assert stored_id == value and stored_remark == value

    found = store.select_records("trading_order", ["id", "remark"], remark=value)
    assert found.values.tolist() == [[new_id, value]]

    store.update_records("trading_order", {"status": value, "security_name": value},
                         broker_order_id=value)
    assert read_file("SELECT status, security_name FROM trading_order WHERE id = ?",
                     (new_id,)) == [(value, value)]
    assert all_rows(read_file)[:2] == before

    store.delete_records("trading_order", status=value, remark=value)
    assert all_rows(read_file) == before


@pytest.mark.parametrize("value", CORPUS, ids=range(len(CORPUS)))
def test_hostile_text_is_stored_unchanged_and_touches_no_other_row(store, read_file, value):
    check_text_round_trip(store, read_file, value)


@settings(max_examples=60, deadline=None,
          suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(value=st.text(max_size=40))
def test_any_text_is_stored_unchanged_and_touches_no_other_row(store, read_file, value):
    assume(all(value not in bystander.values() for bystander in BYSTANDERS))
    check_text_round_trip(store, read_file, value)


def test_a_condition_str_is_the_callers_own_sql(store, read_file):
    for bystander in BYSTANDERS:
        store.insert_records("trading_order", **{**ORDER, **bystander})
    store.update_records("trading_order", {"remark": "x"},
                         condition_str="status = 'status' OR remark = 'keep'", quantity=2)
    assert read_file("SELECT remark FROM trading_order") == [("x",), ("x",)]
