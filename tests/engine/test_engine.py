"""The engine: what it writes to the store as orders and fills arrive, how it answers the
bot's requests, how the strategy's orders come and go, and how it shuts down."""
import sqlite3

import pytest

from corvane.core.constants import Direction, OrderType
from corvane.engine import Engine, MovingAverageCross

from engine_fakes import (CANCELLED, CL, EP, FILLED, SUBMITTED, FakeBot, FakeGateway, bars,
                          long_position)


class TestRecords:
    def test_orders_and_fills_reach_the_store_as_they_happen(self, engine, rows):
        gw = engine.gateway
        order = engine.send_order(EP, Direction.LONG, 2, OrderType.LIMIT, price=5990.25)
        (row,) = rows("trading_order")
        assert (row["broker_order_id"], row["status"], row["price"], row["offset"]) == (
            "GUID-1", "SUBMITTED", 5990.25, "OPEN")
        gw.report("GUID-1", SUBMITTED)
        gw.fill("F1", "GUID-1", 1, 5990.0)
        gw.fill("F1", "GUID-1", 1, 5990.0)          # the same fill reported twice
        gw.report("GUID-1", SUBMITTED, filled=1, price=5990.0)
        gw.fill("F2", "GUID-1", 1, 5990.25)
        gw.report("GUID-1", FILLED, filled=2, price=5990.125)
        engine.step()
        assert [(d["broker_deal_id"], d["order_id"], d["filled_quantity"])
                for d in rows("trading_deal")] == [("F1", row["id"], 1), ("F2", row["id"], 1)]
        (row,) = rows("trading_order")
        assert (row["status"], row["filled_quantity"], row["filled_avg_price"]) == (
            "FILLED", 2, 5990.125)
        assert order.status == FILLED and engine.net_position(EP) == 2
        # The fills brought a new balance row, and the orders and deals name the one before.
        assert len(rows("balance")) == 2 and rows("trading_deal")[0]["balance_id"] == 1

    def test_a_late_report_never_reopens_a_finished_order(self, engine, rows):
        engine.send_order(EP, Direction.SHORT, 1)
        engine.gateway.report("GUID-1", CANCELLED)
        engine.gateway.report("GUID-1", SUBMITTED)
        engine.step()
        assert engine.orders["GUID-1"].status == CANCELLED
        assert rows("trading_order")[0]["status"] == "CANCELLED"

    def test_reports_of_orders_placed_elsewhere_are_kept_aside(self, engine, rows):
        engine.gateway.report("MANUAL-1", FILLED, filled=1, price=70.0)
        engine.gateway.fill("F9", "MANUAL-1", 1, 70.0)
        engine.step()
        assert rows("trading_deal") == [] and engine.deals == {}
        assert [u["order_id"] for u in engine.unknown_updates] == ["MANUAL-1", "MANUAL-1"]

    def test_positions_are_stored_with_the_balance_they_belong_to(self, engine, rows):
        engine.gateway.gatelink.positions = [long_position(EP, 2, 5990.0)]
        engine.send_order(EP, Direction.LONG, 2)
        engine.gateway.fill("F1", "GUID-1", 2, 5990.0)
        engine.step()
        (position,) = rows("position")
        assert position["balance_id"] == rows("balance")[-1]["id"]
        assert (position["security_code"], position["quantity"]) == ("EPZ26", 2)

    def test_a_refused_placement_is_noted_and_raised(self, engine, rows):
        engine.gateway.refuse_next = RuntimeError("Order placing timeout!\n")
        with pytest.raises(RuntimeError):
            engine.send_order(EP, Direction.LONG, 1)
        assert rows("trading_order") == [] and len(engine.failed_placements) == 1

    def test_a_long_session_keeps_a_bounded_history_and_its_positions_right(self, engine, rows):
        engine.history = 2
        resting = engine.send_order(EP, Direction.LONG, 1, OrderType.LIMIT, price=5000.0)
        for n in range(2, 7):
            engine.send_order(EP, Direction.SHORT if n % 2 else Direction.LONG, 1)
            engine.gateway.fill(f"F{n}", f"GUID-{n}", 1, 6000.0)
            engine.gateway.fill(f"F{n}", f"GUID-{n}", 1, 6000.0)  # reported twice
            engine.gateway.report(f"GUID-{n}", FILLED, filled=1, price=6000.0)
            engine.step()
        # The resting order stays, with the latest two finished ones; the latest deals only.
        assert list(engine.orders) == [resting.order_id, "GUID-5", "GUID-6"]
        assert list(engine.deals) == ["F5", "F6"]
        assert engine.net_position(EP) == 1  # three longs, two shorts
        assert len(rows("trading_deal")) == 5 and len(rows("trading_order")) == 6

    def test_without_a_store_the_session_runs_and_no_row_is_counted(self):
        gateway = FakeGateway()
        engine = Engine(gateway, 1001, log=lambda line: None)
        engine.start()
        order = engine.send_order(EP, Direction.LONG, 1)
        gateway.fill("F1", "GUID-1", 1, 6000.0)
        gateway.report("GUID-1", FILLED, filled=1, price=6000.0)
        engine.step()
        engine.close()
        assert order.status == FILLED and engine.net_position(EP) == 1
        assert set(engine.rows_written.values()) == {0} and len(engine.rows_written) == 4


def ask(engine, **requests):
    bot = engine.bot
    for name, value in requests.items():
        setattr(bot, name, value)
    before = len(bot.sent)
    engine.answer_requests()
    return bot.sent[before:]


class TestChatRequests:
    def test_each_request_is_answered_once_and_its_flag_cleared(self, engine):
        engine.send_order(EP, Direction.LONG, 1)
        engine.gateway.fill("F1", "GUID-1", 1, 6000.0)
        engine.gateway.report("GUID-1", FILLED, filled=1, price=6000.0)
        engine.step()
        answers = ask(engine, get_balance=True, get_positions=True, get_orders=True,
                      get_deals=True)
        assert [a.split(":")[0] for a in answers] == ["Balance", "Positions",
                                                      "Orders (last 1 of 1)",
                                                      "Deals (last 1 of 1)"]
        assert "GUID-1 EPZ26 LONG 1 MARKET FILLED filled 1 @6000" in answers[2]
        assert not any((engine.bot.get_balance, engine.bot.get_positions,
                        engine.bot.get_orders, engine.bot.get_deals))
        assert ask(engine) == []

    def test_orders_listing_respects_active_only_and_the_count(self, engine):
        for n in range(3):
            engine.send_order(EP, Direction.LONG, 1, OrderType.LIMIT, price=5900.0 + n)
        engine.gateway.report("GUID-2", CANCELLED)
        engine.step()
        (active,) = ask(engine, get_orders=True, active_orders=True, num_orders_displayed=5)
        assert "GUID-1" in active and "GUID-3" in active and "GUID-2" not in active
        (last,) = ask(engine, get_orders=True, active_orders=False, num_orders_displayed=1)
        assert "GUID-3" in last and "GUID-1" not in last
        for count in (0, -2):
            assert ask(engine, get_orders=True, num_orders_displayed=count) == ["Orders: none"]

    def test_cancel_one_order(self, engine):
        engine.send_order(EP, Direction.LONG, 1, OrderType.LIMIT, price=5900.0)
        engine.send_order(EP, Direction.LONG, 1)
        engine.gateway.report("GUID-2", FILLED, filled=1, price=6000.0)
        engine.step()
        refusals = [ask(engine, cancel_order=True, cancel_order_id=oid, gateway_name=gw)[0]
                    for oid, gw in (("GUID-9", "CQG"), ("GUID-2", "CQG"), ("GUID-1", "IB"))]
        assert [r.split(":")[1].split()[0] for r in refusals] == ["no", "order", "no"]
        assert engine.gateway.cancelled == []
        (sent,) = ask(engine, cancel_order=True, cancel_order_id="GUID-1", gateway_name="cqg")
        assert sent.startswith("Cancel sent") and engine.gateway.cancelled == ["GUID-1"]

    def test_cancel_all_active_orders(self, engine):
        for price in (5900.0, 5901.0):
            engine.send_order(EP, Direction.LONG, 1, OrderType.LIMIT, price=price)
        engine.send_order(CL, Direction.SHORT, 1)
        engine.gateway.report("GUID-3", FILLED, filled=1, price=70.0)
        engine.step()
        assert ask(engine, cancel_orders=True) == ["Cancel sent for 2 active order(s)"]
        assert engine.gateway.cancelled == ["GUID-1", "GUID-2"]

    def test_an_instruction_becomes_the_order_it_describes(self, engine, rows):
        (answer,) = ask(engine, send_order=True, order_string="CLEF27,3,s,c,s,CQG,69.5,69.8")
        assert answer.startswith("Order placed: GUID-1")
        (order,) = engine.gateway.placed
        assert (order.security, order.direction, order.quantity, order.order_type,
                order.price, order.stop_price) == (CL, Direction.SHORT, 3, OrderType.STOP,
                                                   69.5, 69.8)
        assert rows("trading_order")[0]["offset"] == "CLOSE"

    @pytest.mark.parametrize("instruction, reason", [
        ("EPZ26,1,l,o,m,CQG,None", "eight fields"),
        ("ESH27,1,l,o,m,CQG,None,None", "unknown security ESH27"),
        ("EPZ26,1,l,o,m,IB,None,None", "no gateway named IB"),
        ("EPZ26,1.5,l,o,m,CQG,None,None", "not a whole number"),
        ("EPZ26,0,l,o,m,CQG,None,None", "above zero"),
        ("EPZ26,1,b,o,m,CQG,None,None", "direction is l/s"),
        ("EPZ26,1,l,o,l,CQG,None,None", "needs a price"),
        ("EPZ26,1,l,o,s,CQG,6000,None", "needs a stop price"),
        ("EPZ26,1,l,o,l,CQG,nan,None", "positive number"),
        ("EPZ26,1,l,o,l,CQG,-5,None", "positive number"),
        ("EPZ26,1,l,o,l,CQG,inf,None", "positive number"),
        ("EPZ26,1,l,o,l,CQG,abc,None", "not a number"),
    ])
    def test_a_faulty_instruction_is_refused_and_nothing_is_sent(self, engine, instruction,
                                                                 reason):
        (answer,) = ask(engine, send_order=True, order_string=instruction)
        assert answer.startswith("Order refused: ") and reason in answer
        assert engine.gateway.placed == [] and not engine.bot.send_order

    def test_a_refused_placement_is_answered(self, engine):
        engine.gateway.refuse_next = RuntimeError("Order placing timeout!")
        (answer,) = ask(engine, send_order=True, order_string="EPZ26,1,l,o,m,CQG,None,None")
        assert answer == "Order refused: Order placing timeout!"

    def test_close_positions_sends_the_opposite_market_orders(self, engine):
        engine.gateway.gatelink.positions = [long_position(EP, 2, 5990.0)]
        (answer,) = ask(engine, close_positions=True, close_positions_gateway_name=None)
        (order,) = engine.gateway.placed
        assert (order.security, order.direction, order.quantity, order.order_type) == (
            EP, Direction.SHORT, 2, OrderType.MARKET)
        assert "closing EPZ26" in answer
        assert ask(engine, close_positions=True, close_positions_gateway_name="IB") == [
            "Close refused: no gateway named IB"]

    def test_stop_answers_and_ends_the_run(self, engine):
        engine.bot.corvane_status = "Terminated"
        engine.run(duration=60)
        assert engine.stop_reason == "stopped from the chat"
        assert engine.bot.sent[-1].startswith("Stopping")

    def test_an_unreachable_chat_does_not_stop_the_engine(self, engine):
        engine.bot.refuse_sending = True
        ask(engine, get_balance=True)
        assert engine.answers[-1].startswith("Balance") and not engine.bot.get_balance


class TestStrategy:
    def test_a_cross_goes_to_the_new_side_and_leaves_a_limit_order(self):
        strategy = MovingAverageCross(fast=2, slow=4)
        rising = bars(EP, [10, 9, 8, 7, 6, 12])
        intents = strategy.on_bars(EP, rising, position=-1)
        assert intents == [{"direction": Direction.LONG, "quantity": 2},
                           {"direction": Direction.LONG, "quantity": 1,
                            "order_type": OrderType.LIMIT, "price": 11}]
        assert strategy.on_bars(EP, rising, position=1)[0]["order_type"] == OrderType.LIMIT
        assert strategy.on_bars(EP, bars(EP, [10, 9, 8, 7, 6, 5]), position=0) == []
        assert strategy.on_bars(EP, rising[:4], position=0) == []  # too short to judge

    def test_strategy_orders_on_new_bars_and_stale_limits_cancelled_once(self, store):
        gateway = FakeGateway(securities=(EP,))
        engine = Engine(gateway, 1001, strategy=MovingAverageCross(fast=2, slow=4), db=store,
                        log=lambda line: None, stale_bars=2)
        history = bars(EP, [10, 9, 8, 7, 6])
        gateway.gatelink.bars[EP] = history
        engine.start()
        engine.step()
        assert gateway.placed == []                      # bars seen at start trade nothing
        rising = bars(EP, [10, 9, 8, 7, 6, 12])
        for n in range(4):                               # the same closes, newer bars
            gateway.gatelink.bars[EP] = bars(EP, [10, 9, 8, 7, 6, 12], start=rising[n].datetime)
            engine.step()
        assert [o.order_type for o in gateway.placed[:2]] == [OrderType.MARKET,
                                                              OrderType.LIMIT]
        assert gateway.cancelled.count("GUID-2") == 1    # stale after two bars, cancelled once
        assert [b.close for b in engine.bars[EP]][-1] == 12


class TestShutDown:
    def test_every_step_runs_although_one_fails(self, engine):
        engine.gateway.gatelink.Logoff = lambda: (_ for _ in ()).throw(RuntimeError("GW disconnection"
                                                                            " timeout!"))
        with pytest.raises(RuntimeError, match="disconnection"):
            engine.close()
        assert engine.gateway.closed and engine.bot.closed
        with pytest.raises(sqlite3.ProgrammingError):
            engine.db.select_records("balance")
        engine.close()  # a second close finds everything closed and does nothing

    def test_a_failed_start_closes_what_it_opened(self, store):
        gateway, bot = FakeGateway(), FakeBot()
        gateway.gatelink.subscribe_bar = lambda *args: (_ for _ in ()).throw(
            ValueError("bad symbol"))
        engine = Engine(gateway, 1001, db=store, bot=bot, log=lambda line: None)
        with pytest.raises(ValueError):
            engine.start()
        assert gateway.closed and bot.closed
        assert ("Logoff", ()) in gateway.gatelink.calls
