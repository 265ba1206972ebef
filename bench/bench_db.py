"""Record store against the plain sqlite3 module and pandas, measured side by side.

Inserts: DB.insert_records of 20,000 trading_order rows, each committed, against plain
sqlite3 running the same parameterised INSERT with a commit after each. Select:
DB.select_records of those rows against pandas.read_sql_query of the same query. Rounds
alternate between the two sides; the figures are medians. The database files live in a
temporary directory on disk.

    .venv/bin/python bench/bench_db.py [--rows 20000] [--rounds 10] [--select-rounds 15]
"""
import argparse
import datetime
import os
import shutil
import sqlite3
import statistics
import sys
import tempfile
import time

import pandas as pd

COLUMNS = ["broker_order_id", "balance_id", "security_name", "security_code", "price",
           "quantity", "direction", "offset", "order_type", "create_time", "update_time",
           "filled_avg_price", "filled_quantity", "status", "remark"]
INSERT_SQL = (f"INSERT INTO trading_order ({','.join(COLUMNS)}) "
              f"VALUES ({','.join('?' * len(COLUMNS))})")
SELECT_SQL = "SELECT * FROM trading_order "


def order_rows(count, offset):
    base = datetime.datetime(2026, 1, 2, 9, 30)
    for n in range(offset, offset + count):
        created = base + datetime.timedelta(seconds=n)
        yield dict(broker_order_id=f"B-{n}", balance_id=1, security_name="E-mini S&P 500",
                   security_code="EPZ26", price=5000.25 + n % 100, quantity=1 + n % 5,
                   direction="LONG" if n % 2 else "SHORT", offset="OPEN", order_type="LIMIT",
                   create_time=created, update_time=created, filled_avg_price=0.0,
                   filled_quantity=0, status="SUBMITTED", remark=None if n % 3 else "note")


def without_none(row):
    return {k: v for k, v in row.items() if v is not None}


def make_store(db_module, root, name, write_config):
    directory = os.path.join(root, name)
    os.makedirs(directory)
    write_config(directory)
    return db_module.DB(), os.path.join(directory, "corvane.db")


def insert_with_store(store, rows):
    start = time.perf_counter()
    for row in rows:
        store.insert_records("trading_order", **row)
    return time.perf_counter() - start


def insert_plain(connection, rows):
    # The same values, with sqlite3's own adapter turning each datetime into text.
    start = time.perf_counter()
    for row in rows:
        connection.execute(INSERT_SQL, [row[c] for c in COLUMNS])
        connection.commit()
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=20_000)
    parser.add_argument("--rounds", type=int, default=10)
    parser.add_argument("--select-rounds", type=int, default=15)
    args = parser.parse_args()

    # Beside the benchmark rather than in the system's temporary folder, which may live in
    # memory, where a commit would cost nothing and the comparison would say little.
    root = tempfile.mkdtemp(prefix="bench_db_", dir=os.path.dirname(os.path.abspath(__file__)))
    sys.path.insert(0, root)

    def write_config(directory):
        with open(os.path.join(root, "corvane_config.py"), "w") as config:
            config.write(f"DB = {{'sqlite3': {directory!r}}}\n")
        sys.modules.pop("corvane_config", None)

    try:
        from corvane.plugins.sqlite3 import db

        store, _ = make_store(db, root, "store", write_config)
        plain_owner, plain_path = make_store(db, root, "plain", write_config)
        plain_owner.close()  # only its tables are wanted
        plain = sqlite3.connect(plain_path)

        per_round = args.rows // args.rounds
        store_times, plain_times = [], []
        for n in range(args.rounds):
            rows = [without_none(r) for r in order_rows(per_round, n * per_round)]
            plain_rows = list(order_rows(per_round, n * per_round))
            # Alternate which side goes first so neither always meets a warmer cache.
            if n % 2 == 0:
                store_times.append(insert_with_store(store, rows))
                plain_times.append(insert_plain(plain, plain_rows))
            else:
                plain_times.append(insert_plain(plain, plain_rows))
                store_times.append(insert_with_store(store, rows))
        total = per_round * args.rounds
        assert plain.execute("SELECT count(*) FROM trading_order").fetchone()[0] == total
        assert len(store.select_records("trading_order", ["id"])) == total

        store_select, pandas_select = [], []
        for n in range(args.select_rounds):
            pair = []
            for side in ((0, 1) if n % 2 == 0 else (1, 0)):
                start = time.perf_counter()
                if side == 0:
                    frame = store.select_records("trading_order")
                else:
                    frame = pd.read_sql_query(SELECT_SQL, store.conn)
                pair.append((side, time.perf_counter() - start, frame))
            for side, seconds, frame in pair:
                (store_select if side == 0 else pandas_select).append(seconds)
            assert pair[0][2].equals(pair[1][2])

        insert_store = statistics.median(store_times) / per_round
        insert_plain_s = statistics.median(plain_times) / per_round
        select_store = statistics.median(store_select)
        select_pandas = statistics.median(pandas_select)
        print(f"insert {total} rows, each committed ({args.rounds} alternating rounds, medians):")
        print(f"  DB.insert_records      {insert_store * 1e6:9.1f} us/row")
        print(f"  plain sqlite3          {insert_plain_s * 1e6:9.1f} us/row")
        print(f"  ratio                  {insert_store / insert_plain_s:9.3f}x  (target <= 1.15)")
        print(f"select {total} rows ({args.select_rounds} alternating rounds, medians):")
        print(f"  DB.select_records      {select_store * 1e3:9.2f} ms")
        print(f"  pandas.read_sql_query  {select_pandas * 1e3:9.2f} ms")
        print(f"  ratio                  {select_store / select_pandas:9.3f}x  (target <= 1.0)")
        store.close()
        plain.close()
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
