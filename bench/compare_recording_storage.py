"""How a recording stores quotes: Parquet parts (what corvane.recording writes) against SQLite
(a WAL database committed once per batch), on the same one million quotes, side by side.

The quotes are a seeded random walk of three instruments in the columns GATELINK's handlers
fill; both writers take them in batches of 140,000 (a second of the live path at full rate)
as the recorder's thread does: Parquet through the recorder's own conversion and part
writing (zstd), SQLite with executemany into one table whose instrument and quote type are
small integer keys of two name tables, joined back by a view, in WAL mode with
synchronous=NORMAL, one commit per batch. Figures: processor time per quote and bytes per
quote on disk. Then each writer again, for 200,000 quotes, beside a thread that keeps the
GIL busy (as the event thread does under load): the wall time it then takes shows how often
the writer must win the GIL back.

    .venv/bin/python bench/compare_recording_storage.py [--quotes 1000000]
"""
import argparse
import os
import random
import shutil
import sqlite3
import tempfile
import threading
import time

import pyarrow.parquet  # noqa: F401  (imported before anything is timed)

import corvane.gateways.cqg.wrapper.ComBridge  # noqa: F401  (loads the CQG constants)
from corvane.recording import Recorder
from report_rows import report_row
from win32com.client import constants

BATCH = 140_000
NAMES = ("F.US.EPZ26", "F.US.ENQZ26", "F.US.CLEF27")
START = {"F.US.EPZ26": 6000.0, "F.US.ENQZ26": 21000.0, "F.US.CLEF27": 70.0}
TICK = {"F.US.EPZ26": 0.25, "F.US.ENQZ26": 0.25, "F.US.CLEF27": 0.01}


def quote_columns(count, seed=7):
    """(received, server_time, full_name, quote_type_value, price, volume, is_valid)."""
    rng = random.Random(seed)
    kinds = (constants.qtBid, constants.qtAsk, constants.qtTrade)
    price = dict(START)
    columns = tuple([] for _ in range(7))
    received = 1_796_826_600_000_000_000
    for _ in range(count):
        name = rng.choice(NAMES)
        price[name] = round(price[name] + rng.choice((-1, 0, 0, 1)) * TICK[name], 2)
        received += rng.randint(2_000, 12_000)
        for column, value in zip(columns, (received, None, name, rng.choice(kinds),
                                           price[name], rng.randint(1, 99), True)):
            column.append(value)
    return columns


def batches(columns):
    for start in range(0, len(columns[0]), BATCH):
        yield [column[start:start + BATCH] for column in columns]


def folder_bytes(path):
    return sum(os.path.getsize(os.path.join(d, n)) for d, _, names in os.walk(path)
               for n in names)


def write_parquet(columns, folder):
    recorder = Recorder(folder)
    recorder._read_constant_names()
    for batch in batches(columns):
        recorder._write_part("quotes", batch)
    return folder_bytes(os.path.join(folder, "quotes"))


SCHEMA = """
PRAGMA journal_mode=WAL;
PRAGMA synchronous=NORMAL;
CREATE TABLE instrument (id INTEGER PRIMARY KEY, full_name TEXT UNIQUE);
CREATE TABLE quote_type (value INTEGER PRIMARY KEY, name TEXT);
CREATE TABLE quote_row (received INTEGER, server_time INTEGER, instrument INTEGER,
                        quote_type INTEGER, price REAL, volume REAL, is_valid INTEGER);
CREATE VIEW quotes AS SELECT received, server_time, full_name, name AS quote_type, price,
    volume, is_valid FROM quote_row JOIN instrument ON instrument.id = quote_row.instrument
    JOIN quote_type ON quote_type.value = quote_row.quote_type;
"""


def write_sqlite(columns, path):
    connection = sqlite3.connect(path, check_same_thread=False)
    connection.executescript(SCHEMA)
    connection.executemany("INSERT INTO quote_type VALUES (?, ?)",
                           [(getattr(constants, n), n) for n in ("qtBid", "qtAsk", "qtTrade")])
    ids = {}
    for received, server, names, types, prices, volumes, valid in batches(columns):
        for name in set(names) - ids.keys():
            ids[name] = len(ids) + 1
            connection.execute("INSERT INTO instrument VALUES (?, ?)", (ids[name], name))
        keys = [ids[name] for name in names]
        connection.executemany("INSERT INTO quote_row VALUES (?, ?, ?, ?, ?, ?, ?)",
                               zip(received, server, keys, types, prices, volumes, valid))
        connection.commit()
    connection.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    connection.close()
    return os.path.getsize(path)


def timed(write, columns, target):
    start = time.process_time()
    size = write(columns, target)
    return (time.process_time() - start) / len(columns[0]), size


def beside_a_busy_thread(write, columns, target):
    """Wall seconds the writer takes while another thread runs Python without pause."""
    done = threading.Event()

    def busy():
        while not done.is_set():
            sum(range(100))

    spinner = threading.Thread(target=busy)
    spinner.start()
    try:
        start = time.perf_counter()
        write(columns, target)
        return time.perf_counter() - start
    finally:
        done.set()
        spinner.join()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quotes", type=int, default=1_000_000)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="corvane-storage-")
    try:
        columns = quote_columns(args.quotes)
        parquet_cost, parquet_size = timed(write_parquet, columns, os.path.join(work, "a.rec"))
        sqlite_cost, sqlite_size = timed(write_sqlite, columns, os.path.join(work, "a.db"))
        per_quote = {"Parquet": parquet_size / args.quotes, "SQLite": sqlite_size / args.quotes}
        print(f"{args.quotes:,} quotes, batches of {BATCH:,}:")
        print(f"  Parquet parts (zstd): {parquet_cost * 1e6:.2f} us/quote, "
              f"{per_quote['Parquet']:.2f} bytes/quote")
        print(f"  SQLite (WAL):         {sqlite_cost * 1e6:.2f} us/quote, "
              f"{per_quote['SQLite']:.2f} bytes/quote")
        few = [column[:200_000] for column in columns]
        parquet_busy = beside_a_busy_thread(write_parquet, few, os.path.join(work, "b.rec"))
        sqlite_busy = beside_a_busy_thread(write_sqlite, few, os.path.join(work, "b.db"))
        print(f"200,000 quotes beside a thread busy in Python: Parquet {parquet_busy:.2f} s, "
              f"SQLite {sqlite_busy:.2f} s")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    report_row("recording storage: processor time per quote, Parquet vs SQLite",
               f"{parquet_cost * 1e6:.2f} us/quote", f"{sqlite_cost * 1e6:.2f} us/quote (SQLite)",
               parquet_cost / sqlite_cost, None, None)
    report_row("recording storage: bytes per quote, Parquet vs SQLite",
               f"{per_quote['Parquet']:.2f} B/quote", f"{per_quote['SQLite']:.2f} B/quote (SQLite)",
               per_quote["Parquet"] / per_quote["SQLite"], None, None)
    report_row("recording storage: 200,000 quotes beside a busy thread, Parquet vs SQLite",
               f"{parquet_busy:.2f} s", f"{sqlite_busy:.2f} s (SQLite)",
               parquet_busy / sqlite_busy, None, None)


if __name__ == "__main__":
    main()
