"""The four record tables: their exact definitions, creation and lifetime in the file."""
import sqlite3

import pytest

from db_samples import BALANCE

TABLES = {
    "balance": "CREATE TABLE balance (id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, broker_name VARCHAR(20) NOT NULL, broker_environment VARCHAR(20) NOT NULL, broker_account_id INTEGER NOT NULL, broker_account VARCHAR(20) NOT NULL, strategy_account_id INTEGER NOT NULL, strategy_account VARCHAR(20) NOT NULL, strategy_version VARCHAR(20) NOT NULL, strategy_version_desc VARCHAR(300), strategy_status VARCHAR(15), cash DOUBLE NOT NULL, cash_by_currency VARCHAR(50), available_cash DOUBLE NOT NULL, max_power_short DOUBLE, net_cash_power DOUBLE, maintenance_margin DOUBLE, unrealized_pnl DOUBLE, realized_pnl DOUBLE, update_time DATETIME NOT NULL, remark VARCHAR(300))",
    "position": "CREATE TABLE position (id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, balance_id INTEGER NOT NULL, security_name VARCHAR(20) NOT NULL, security_code VARCHAR(20) NOT NULL, direction VARCHAR(20) NOT NULL, holding_price DOUBLE NOT NULL, quantity INTEGER NOT NULL, update_time DATETIME NOT NULL, remark VARCHAR(300))",
    "trading_order": "CREATE TABLE trading_order (id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, broker_order_id VARCHAR(50) NOT NULL, balance_id INTEGER NOT NULL, security_name VARCHAR(20) NOT NULL, security_code VARCHAR(20) NOT NULL, price DOUBLE NOT NULL, quantity INTEGER NOT NULL, direction VARCHAR(20) NOT NULL, offset VARCHAR(20) NOT NULL, order_type VARCHAR(20) NOT NULL, create_time DATETIME NOT NULL, update_time DATETIME NOT NULL, filled_avg_price DOUBLE NOT NULL, filled_quantity INTEGER NOT NULL, status VARCHAR(20) NOT NULL, remark VARCHAR(300))",
    "trading_deal": "CREATE TABLE trading_deal (id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, broker_deal_id VARCHAR(50) NOT NULL, broker_order_id VARCHAR(50) NOT NULL, order_id INTEGER NOT NULL, balance_id INTEGER NOT NULL, security_name VARCHAR(20) NOT NULL, security_code VARCHAR(20) NOT NULL, direction VARCHAR(20) NOT NULL, offset VARCHAR(20) NOT NULL, order_type VARCHAR(20) NOT NULL, update_time DATETIME NOT NULL, filled_avg_price DOUBLE NOT NULL, filled_quantity INTEGER NOT NULL, remark VARCHAR(300))",
}

def test_tables_are_created_in_order_with_their_exact_definitions(store, read_file):
    rows = read_file("SELECT name, sql FROM sqlite_master WHERE type='table' "
                     "AND name != 'sqlite_sequence' ORDER BY rowid")
    # SQLite stores the statement with "IF NOT EXISTS" taken out.
    assert rows == list(TABLES.items())
    assert read_file("SELECT name FROM sqlite_master WHERE type='index'") == []


def test_create_methods_leave_existing_tables_and_rows_alone(store, read_file):
    store.insert_records("balance", **BALANCE)
    store.create_balance_table(), store.create_position_table()
    store.create_order_table(), store.create_deal_table()
    assert read_file("SELECT count(*) FROM balance") == [(1,)]


def test_reopening_keeps_rows_and_an_existing_layout(db_module, db_dir, read_file):
    with sqlite3.connect(db_dir / "corvane.db") as plain:
        plain.execute("CREATE TABLE position (id INTEGER PRIMARY KEY, note TEXT)")
    first = db_module.DB()
    first.insert_records("balance", **BALANCE)
    first.insert_records("position", note="own layout")
    first.close()
    second = db_module.DB()
    assert second.select_records("balance", ["broker_account"]).values.tolist() == [["ACC1"]]
    assert second.select_records("position").to_dict("records") == [{"id": 1, "note": "own layout"}]
    second.close()
    assert read_file("SELECT sql FROM sqlite_master WHERE name='position'") == [
        ("CREATE TABLE position (id INTEGER PRIMARY KEY, note TEXT)",)]


def test_a_dropped_table_comes_back_empty_with_the_next_db(db_module, store, read_file):
    store.insert_records("balance", **BALANCE)
    store.delete_table("balance")
    assert read_file("SELECT name FROM sqlite_master WHERE name='balance'") == []
    with pytest.raises(sqlite3.OperationalError, match="no such table"):
        store.delete_table("balance")
    again = db_module.DB()
    assert again.select_records("balance").empty
    again.close()


def test_a_missing_not_null_column_fails_with_the_integrity_error(store, read_file):
    without_cash = {k: v for k, v in BALANCE.items() if k != "cash"}
    with pytest.raises(sqlite3.IntegrityError, match="NOT NULL constraint failed: balance.cash"):
        store.insert_records("balance", **without_cash)
    assert read_file("SELECT count(*) FROM balance") == [(0,)]


def test_autoincrement_ids_increase_and_are_never_reused(db_module, store, read_file):
    for _ in range(3):
        store.insert_records("balance", **BALANCE)
    store.delete_records("balance", condition_str="id >= 2")
    store.insert_records("balance", **BALANCE)
    store.delete_records("balance")
    store.close()
    reopened = db_module.DB()
    reopened.insert_records("balance", **BALANCE)
    reopened.close()
    assert read_file("SELECT id FROM balance") == [(5,)]


def test_a_file_sqlite_refuses_fails_the_constructor(db_module, db_dir):
    (db_dir / "corvane.db").write_bytes(b"not a database" * 100)
    with pytest.raises(sqlite3.DatabaseError, match="not a database"):
        db_module.DB()
    assert not db_module.lock.locked()
