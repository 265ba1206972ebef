"""The store as a trading process uses it, under load: four threads write orders, their
deals and status changes through one DB while another reads through its own."""
import threading

import pytest

pytestmark = pytest.mark.timeout(60)

WRITERS, ORDERS_EACH = 4, 50


def order_row(tag):
    return dict(broker_order_id=tag, balance_id=1, security_name="E-mini",
                security_code="EPZ26", price=6000.25, quantity=1, direction="LONG",
                offset="OPEN", order_type="LIMIT", create_time="2026-01-02 03:04:05",
                update_time="2026-01-02 03:04:05", filled_avg_price=0.0, filled_quantity=0,
                status="SUBMITTED")


def deal_row(tag):
    return dict(broker_deal_id=f"D-{tag}", broker_order_id=tag, order_id=0, balance_id=1,
                security_name="E-mini", security_code="EPZ26", direction="LONG",
                offset="OPEN", order_type="LIMIT", update_time="2026-01-02 03:04:06",
                filled_avg_price=6000.25, filled_quantity=1)


def test_four_writers_and_a_reader_lose_nothing_and_see_no_half_step(db_dir, rows):
    """Every order, deal and status change is stored exactly once; a reader never sees a
    FILLED order without its deal, and counts only grow."""
    from corvane.plugins.sqlite3.db import DB
    store, reader_db = DB(), DB()
    failures, done = [], threading.Event()

    def write(n):
        try:
            for i in range(ORDERS_EACH):
                tag = f"W{n}-{i}"
                store.insert_records("trading_order", **order_row(tag))
                store.insert_records("trading_deal", **deal_row(tag))
                store.update_records("trading_order", {"status": "FILLED",
                                                       "filled_quantity": 1},
                                     broker_order_id=tag)
        except BaseException as error:
            failures.append(error)

    def read():
        counts = (0, 0)
        try:
            while not done.is_set():
                orders = reader_db.select_records("trading_order")
                deals = set(reader_db.select_records("trading_deal")["broker_order_id"])
                filled = set(orders[orders["status"] == "FILLED"]["broker_order_id"])
                assert filled <= deals, filled - deals
                now = (len(orders), len(deals))
                assert now >= counts
                counts = now
        except BaseException as error:
            failures.append(error)

    reader = threading.Thread(target=read)
    writers = [threading.Thread(target=write, args=(n,)) for n in range(WRITERS)]
    reader.start()
    for thread in writers:
        thread.start()
    for thread in writers:
        thread.join(30)
    done.set()
    reader.join(30)
    store.close()
    reader_db.close()
    assert failures == []
    expected = {f"W{n}-{i}" for n in range(WRITERS) for i in range(ORDERS_EACH)}
    orders = rows("trading_order")
    assert len(orders) == len(expected) and {r["broker_order_id"] for r in orders} == expected
    assert {(r["status"], r["filled_quantity"]) for r in orders} == {("FILLED", 1)}
    assert sorted(r["broker_order_id"] for r in rows("trading_deal")) == sorted(expected)
