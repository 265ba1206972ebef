"""The whole stack on the emulator (engine, gateway, bridge, GATELINK, store) under faults
from the market, the gateway and the orders: it keeps working and loses nothing."""
import threading

import pytest

import corvane_emulator as emu
from corvane.core.constants import OrderStatus

from stack_support import ACCOUNT, EP, buy, settle

pytestmark = pytest.mark.timeout(60)

FILLED, FAILED = OrderStatus.FILLED, OrderStatus.FAILED


def stored_orders(rows):
    return {r["broker_order_id"]: (r["status"], r["filled_quantity"]) for r in rows("trading_order")}


def stored_deals(rows):
    return sorted((r["broker_order_id"], r["filled_quantity"]) for r in rows("trading_deal"))


def streamed(engine, batches=20):
    """Posts `batches` rounds of the emulated market's feed and waits for them."""
    before = engine.quote_count
    for _ in range(batches):
        emu.advance(0.01)
    settle(engine)
    return engine.quote_count - before


class TestConnection:
    def test_a_gateway_dropped_and_restored_while_streaming_loses_no_quote_or_fill(
            self, stack, rows):
        """Quotes keep flowing while the gateway is down and after it is back; an order
        placed after the restore fills, and engine and store agree on it."""
        emu.start_market(20_000, ticks_per_second=0, live=False)
        assert streamed(stack) > 0
        link = stack.gateway.gatelink
        link.eventGatewayIsDown.clear()
        emu.drop_gateway()
        assert streamed(stack) > 0
        assert link.eventGatewayIsDown.is_set()
        link.eventGatewayIsUp.clear()
        emu.restore_gateway()
        assert streamed(stack) > 0
        assert link.eventGatewayIsUp.is_set()
        emu.stop_market()
        order = buy(stack, EP, 2)
        settle(stack)
        assert order.status == FILLED
        assert stored_orders(rows) == {order.order_id: ("FILLED", 2)}
        assert stored_deals(rows) == [(order.order_id, 2)]
        # Every quote GATELINK published reached the engine, none twice.
        assert stack.quote_count == stack.gateway.received["quote"]

    def test_a_data_error_mid_session_ends_nothing(self, stack, trace, rows):
        """A DataError while streaming is traced; quotes go on and orders still fill."""
        emu.start_market(20_000, ticks_per_second=0, live=False)
        streamed(stack)
        emu.data_error(7, "feed hiccup")
        assert streamed(stack) > 0
        assert "OnDataError: Code: 7 Description: feed hiccup" in trace
        emu.stop_market()
        order = buy(stack, EP)
        settle(stack)
        assert order.status == FILLED and stored_deals(rows) == [(order.order_id, 1)]


class TestHandlers:
    def test_a_raising_record_handler_ends_its_event_only(self, stack, capfd):
        """The gateway's callback raising on one quote is printed by the pump; the next
        events, the fill of an order among them, are handled."""
        handler, failed = stack.gateway.on_record, []

        def failing_once(kind, record):
            if kind == "quote" and not failed:
                failed.append(record)
                raise RuntimeError("strategy bug")
            handler(kind, record)

        stack.gateway.on_record = failing_once
        emu.push_quotes("EPZ26", [("qtTrade", 6000.25)])
        emu.push_quotes("EPZ26", [("qtTrade", 6000.5)])
        settle(stack)
        assert failed and "RuntimeError: strategy bug" in capfd.readouterr().err
        assert stack.last_prices[EP] == 6000.5
        order = buy(stack, EP)
        settle(stack)
        assert order.status == FILLED and len(stack.deals) == 1

    def test_an_unknown_quote_type_mid_event_leaves_the_stream_going(self, stack, capfd):
        """The event with an unknown quote type ends at it (later quotes of that event are
        not processed); the next event is handled and trading goes on."""
        emu.push_quotes("EPZ26", [("qtTrade", 6001.0), (999, 1.0), ("qtTrade", 6002.0)])
        emu.push_quotes("EPZ26", [("qtTrade", 6003.0)])
        settle(stack)
        assert "KeyError: 999" in capfd.readouterr().err
        assert stack.gateway.cqg_quotes[EP].last_price == 6003.0
        order = buy(stack, EP)
        settle(stack)
        assert order.status == FILLED


class TestOrders:
    def test_a_rejected_order_is_failed_everywhere_and_the_next_one_fills(self, stack, rows):
        """The rejection reaches the engine and the store as FAILED, with no deal; the next
        order is placed and fills as usual."""
        emu.reject_next_order()
        rejected = buy(stack, EP)
        settle(stack)
        accepted = buy(stack, EP)
        settle(stack)
        assert (rejected.status, accepted.status) == (FAILED, FILLED)
        assert stored_orders(rows) == {rejected.order_id: ("FAILED", 0),
                                       accepted.order_id: ("FILLED", 1)}
        assert stored_deals(rows) == [(accepted.order_id, 1)]

    def test_a_fill_reported_twice_counts_once(self, stack, rows):
        """The duplicated report is one deal in the engine and the store, and the engine's
        position equals the emulated account's."""
        emu.duplicate_next_fill()
        order = buy(stack, EP, 3)
        settle(stack)
        assert len(stack.deals) == 1 and stored_deals(rows) == [(order.order_id, 3)]
        stack.refresh_account()
        assert stack.net_position(EP) == 3 == sum(p.quantity for p in stack.positions)

    def test_an_order_added_from_outside_is_kept_aside(self, stack, rows):
        """A manual order's reports and fill are noted but neither stored nor counted as the
        engine's; the engine's own order placed meanwhile is accounted for as usual."""
        own = buy(stack, EP)
        manual = emu.manual_order(ACCOUNT, "EPZ26", "buy", 2)
        settle(stack)
        assert manual not in stack.orders and own.status == FILLED
        assert {u["order_id"] for u in stack.unknown_updates} == {manual}
        assert stored_orders(rows) == {own.order_id: ("FILLED", 1)}
        assert stored_deals(rows) == [(own.order_id, 1)]
        assert stack.net_position(EP) == 1


def test_shut_down_during_heavy_streaming_returns_and_leaves_no_thread(trace, db_dir, rows):
    """Closing the engine while the live market floods the bridge's queue returns, writes
    the final balance, and ends every thread the session started."""
    from corvane.engine import Engine
    from corvane.gateways.cqg.gateway import CqgGateway
    from corvane.plugins.sqlite3.db import DB
    before = set(threading.enumerate())
    emu.reset()
    emu.load_scenario(accounts=[{"id": ACCOUNT, "name": "SIM"}])
    engine = Engine(CqgGateway([EP]), ACCOUNT, db=DB(), log=lambda line: None)
    def stop_once_flooded():
        while engine.quote_count < 5_000 and not finished.is_set():
            finished.wait(0.01)
        engine.stop()

    # The engine runs on the thread that connected, as COM requires; another thread stops it.
    finished = threading.Event()
    stopper = threading.Thread(target=stop_once_flooded)
    try:
        engine.start()
        emu.start_market(20_000, live=True, step=0.005)
        stopper.start()
        engine.run(duration=30)
        finished.set()
        stopper.join(30)
        engine.close()
    finally:
        finished.set()
        emu.stop_market()
        emu.reset()
    assert not stopper.is_alive() and engine.stop_reason == "stopped"
    assert [t for t in threading.enumerate() if t not in before and t.is_alive()] == []
    assert len(rows("balance")) == 2  # at the start and at the close


@pytest.mark.parametrize("failure", ["unknown account", "interrupted"])
def test_a_start_failing_before_the_account_is_followed_logs_off_and_raises_its_error(
        trace, db_dir, failure):
    """The start-up's own error reaches the caller (not an error of the logoff after it),
    and CQG is logged off although no account was followed yet."""
    from corvane.engine import Engine
    from corvane.gateways.cqg.gateway import CqgGateway
    from corvane.plugins.sqlite3.db import DB
    emu.reset()
    emu.load_scenario(accounts=[{"id": ACCOUNT, "name": "SIM"}])
    gateway = CqgGateway([EP])
    account = 4242 if failure == "unknown account" else ACCOUNT
    if failure == "interrupted":
        connect = gateway.connect

        def connect_then_interrupt_the_account_request():
            connect()

            def interrupt(account_id):
                raise KeyboardInterrupt
            gateway.gatelink.subscribe_account_and_positions = interrupt
            return gateway
        gateway.connect = connect_then_interrupt_the_account_request
    engine = Engine(gateway, account, db=DB(), log=lambda line: None)
    try:
        with pytest.raises(BaseException) as raised:
            engine.start()
    finally:
        emu.reset()
    assert not isinstance(raised.value, AttributeError), raised.value
    if failure == "interrupted":
        assert raised.type is KeyboardInterrupt
    assert "Successfully logoff" in trace, trace
    assert gateway.comBridge is None
