"""Record store against the plain sqlite3 module and pandas, measured side by side.

Inserts: DB.insert_records of trading_order rows, each committed, against plain sqlite3
running the same parameterised INSERT with a commit after each; once with the database files
on disk (the cost a trader pays) and once in a memory-backed folder (/dev/shm), where no
commit waits for the disk and what is left is the store's own cost per row (measured as
processor time, which other work on a shared machine does not stretch). Select:
DB.select_records of the disk rows against pandas.read_sql_query of the same query. Rounds
alternate between the two sides, many short rounds so that both meet the same load on a
shared disk; the figures are medians.

    .venv/bin/python bench/bench_db.py [--rows 12000] [--rounds 40] [--memory-rows 60000]
                                       [--memory-rounds 30] [--select-rounds 15] [--budget 60]
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

from report_rows import report_row

COLUMNS = ["broker_order_id", "balance_id", "security_name", "security_code", "price",
           "quantity", "direction", "offset", "order_type", "create_time", "update_time",
           "filled_avg_price", "filled_quantity", "status", "remark"]
INSERT_SQL = (f"INSERT INTO trading_order ({','.join(COLUMNS)}) "
              f"VALUES ({','.join('?' * len(COLUMNS))})")
SELECT_SQL = "SELECT * FROM trading_order "
DISK_TARGET, MEMORY_TARGET = 1.15, 1.10  # store inserts against plain sqlite3
SELECT_TARGET = 1.0


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


def insert_with_store(store, rows, clock):
    start = clock()
    for row in rows:
        store.insert_records("trading_order", **row)
    return clock() - start


def insert_plain(connection, rows, clock):
    # The same values, with sqlite3's own adapter turning each datetime into text.
    start = clock()
    for row in rows:
        connection.execute(INSERT_SQL, [row[c] for c in COLUMNS])
        connection.commit()
    return clock() - start


def memory_folder():
    """A folder whose files live in memory, and a note when there is none."""
    shm = "/dev/shm"
    if os.path.isdir(shm) and os.access(shm, os.W_OK):
        return shm, ""
    return tempfile.gettempdir(), " (no /dev/shm here: the temporary folder, maybe on disk)"


def compare_inserts(store, plain, total_rows, rounds, clock, budget_s):
    """Median seconds per row of the store and of plain sqlite3, rounds alternating, the rows
    inserted on each side and the rounds run. Rounds stop early (after at least four) once `budget_s` of
    wall time has passed, so that a disk slowed by other work cannot stall the run."""
    per_round = total_rows // rounds
    store_times, plain_times = [], []
    started = time.perf_counter()
    for n in range(rounds):
        if n >= 4 and n % 2 == 0 and time.perf_counter() - started > budget_s:
            break
        offset = n * per_round
        rows = [without_none(r) for r in order_rows(per_round, offset)]
        plain_rows = list(order_rows(per_round, offset))
        # Alternate which side goes first so neither always meets a warmer cache.
        if n % 2 == 0:
            store_times.append(insert_with_store(store, rows, clock))
            plain_times.append(insert_plain(plain, plain_rows, clock))
        else:
            plain_times.append(insert_plain(plain, plain_rows, clock))
            store_times.append(insert_with_store(store, rows, clock))
    return (statistics.median(store_times) / per_round,
            statistics.median(plain_times) / per_round, per_round * len(store_times),
            len(store_times))


def print_comparison(label, title, row_name, store_s, reference_name, reference_s, unit,
                     target):
    """Prints one side-by-side figure and reports its row under `label`; `unit` is "us/row"
    or "ms"."""
    scale, digits = (1e6, 1) if unit == "us/row" else (1e3, 2)
    ratio = store_s / reference_s
    print(title)
    print(f"  {row_name:22} {store_s * scale:9.{digits}f} {unit}")
    print(f"  {reference_name:22} {reference_s * scale:9.{digits}f} {unit}")
    print(f"  ratio                  {ratio:9.3f}x  (target <= {target})")
    report_row(label, f"{store_s * scale:.{digits}f} {unit}",
               f"{reference_name} {reference_s * scale:.{digits}f} {unit}", ratio,
               f"<= {target}x", ratio <= target)


def print_inserts(label, where, total, rounds, store_s, plain_s, target):
    print_comparison(label, f"insert {total} rows {where}, each committed ({rounds} alternating "
                     f"rounds, medians):", "DB.insert_records", store_s, "plain sqlite3",
                     plain_s, "us/row", target)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=12_000)
    parser.add_argument("--rounds", type=int, default=40)
    parser.add_argument("--memory-rows", type=int, default=60_000)
    parser.add_argument("--memory-rounds", type=int, default=30)
    parser.add_argument("--select-rounds", type=int, default=15)
    parser.add_argument("--budget", type=float, default=60.0,
                        help="seconds of inserting after which each side's rounds stop early")
    args = parser.parse_args()

    # The disk side sits beside the benchmark rather than in the system's temporary folder,
    # which may live in memory, where a commit would cost nothing.
    root = tempfile.mkdtemp(prefix="bench_db_", dir=os.path.dirname(os.path.abspath(__file__)))
    memory_parent, memory_note = memory_folder()
    memory_root = tempfile.mkdtemp(prefix="bench_db_", dir=memory_parent)
    sys.path.insert(0, root)

    def write_config(directory):
        with open(os.path.join(root, "corvane_config.py"), "w") as config:
            config.write(f"DB = {{'sqlite3': {directory!r}}}\n")
        sys.modules.pop("corvane_config", None)

    def store_and_plain(folder):
        store, _ = make_store(db, folder, "store", write_config)
        plain_owner, plain_path = make_store(db, folder, "plain", write_config)
        plain_owner.close()  # only its tables are wanted
        return store, sqlite3.connect(plain_path)

    try:
        from corvane.plugins.sqlite3 import db

        store, plain = store_and_plain(root)
        store_s, plain_s, total, rounds = compare_inserts(
            store, plain, args.rows, args.rounds, time.perf_counter, args.budget)
        assert plain.execute("SELECT count(*) FROM trading_order").fetchone()[0] == total
        assert len(store.select_records("trading_order", ["id"])) == total
        print_inserts("store insert, on disk", "on disk", total, rounds, store_s, plain_s,
                      DISK_TARGET)

        memory_store, memory_plain = store_and_plain(memory_root)
        # Where no commit waits for a disk, the processor time of this thread is the cost
        # itself, and unlike the wall clock it does not grow when other work shares the CPUs
        # (nor does it count numpy's BLAS threads spinning beside it).
        store_s, plain_s, memory_total, rounds = compare_inserts(
            memory_store, memory_plain, args.memory_rows, args.memory_rounds,
            time.thread_time, args.budget)
        assert len(memory_store.select_records("trading_order", ["id"])) == memory_total
        print_inserts("store insert, in memory, CPU time",
                      f"in memory, processor time{memory_note}", memory_total,
                      rounds, store_s, plain_s, MEMORY_TARGET)
        memory_store.close()
        memory_plain.close()

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

        select_store = statistics.median(store_select)
        select_pandas = statistics.median(pandas_select)
        print_comparison("store select",
                         f"select {total} rows ({args.select_rounds} alternating rounds, "
                         f"medians):", "DB.select_records", select_store,
                         "pandas.read_sql_query", select_pandas, "ms", SELECT_TARGET)
        store.close()
        plain.close()
    finally:
        shutil.rmtree(root, ignore_errors=True)
        shutil.rmtree(memory_root, ignore_errors=True)


if __name__ == "__main__":
    main()
