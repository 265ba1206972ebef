"""The module lock, failed statements and several threads and connections on one file."""
import importlib
import sqlite3
import sys
import threading
from contextlib import closing

import pytest

from db_samples import BALANCE, ORDER


def test_a_failed_write_leaves_no_transaction_holding_the_file(db_module, store, db_dir):
    without_cash = {k: v for k, v in BALANCE.items() if k != "cash"}
    with pytest.raises(sqlite3.IntegrityError):
        store.insert_records("balance", **without_cash)
    assert not store.conn.in_transaction
    with pytest.raises(sqlite3.OperationalError):
        store.execute("UPDATE balance SET no_such_column = 1")
    assert not store.conn.in_transaction

    # Another connection that will not wait can write at once.
    with closing(sqlite3.connect(db_dir / "corvane.db", timeout=0)) as impatient:
        impatient.execute("INSERT INTO balance (broker_name, broker_environment,"
                          " broker_account_id, broker_account, strategy_account_id,"
                          " strategy_account, strategy_version, cash, available_cash,"
                          " update_time) VALUES ('X', 'E', 1, 'A', 1, 'S', 'V', 1, 1, 'T')")
        impatient.commit()
    other = db_module.DB()
    other.insert_records("balance", **BALANCE)
    other.close()
    store.insert_records("balance", **BALANCE)
    assert store.select_records("balance", ["id"])["id"].tolist() == [1, 2, 3]


def test_statements_wait_for_the_module_lock_without_holding_the_gil(db_module, store):
    done = threading.Event()

    def insert():
        store.insert_records("balance", **BALANCE)
        done.set()

    with db_module.lock:
        writer = threading.Thread(target=insert)
        writer.start()
        # This thread keeps running Python while the writer waits for the lock.
        assert not done.wait(0.2)
        assert writer.is_alive()
    writer.join(10)
    assert done.is_set()
    assert len(store.select_records("balance")) == 1


def test_four_threads_on_two_dbs_account_for_every_row(db_module, store, read_file):
    other = db_module.DB()
    rows_per_thread = 40
    failures = []
    start = threading.Barrier(4)

    def work(db, tag):
        try:
            start.wait()
            for n in range(rows_per_thread):
                db.insert_records("trading_order", **{**ORDER, "broker_order_id": f"{tag}-{n}",
                                                      "remark": tag})
                # Each select sees its own statement's result, never another thread's.
                mine = db.select_records("trading_order", ["broker_order_id"], remark=tag)
                assert sorted(mine["broker_order_id"]) == sorted(
                    f"{tag}-{i}" for i in range(n + 1))
        except BaseException as error:  # reported by the main thread
            failures.append(error)

    threads = [threading.Thread(target=work, args=(db, f"T{i}"))
               for i, db in enumerate([store, other, store, other])]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(60)
    other.close()
    assert failures == []
    ids = read_file("SELECT id FROM trading_order")
    assert len(ids) == 4 * rows_per_thread == len(set(ids))
    assert read_file("SELECT remark, count(*) FROM trading_order GROUP BY remark") == [
        (f"T{i}", rows_per_thread) for i in range(4)]


def test_a_reimport_makes_a_fresh_module_and_lock(db_module, store):
    name = db_module.__name__
    del sys.modules[name]
    try:
        fresh = importlib.import_module(name)
        assert fresh is not db_module and fresh.lock is not db_module.lock
        assert fresh.DB is not db_module.DB
        with db_module.lock:  # the old DB objects keep the lock of their own module
            second = fresh.DB()
            second.insert_records("balance", **BALANCE)
            second.close()
        store.insert_records("balance", **BALANCE)
        assert len(store.select_records("balance")) == 2
    finally:
        sys.modules[name] = db_module
