"""The framework's CQG gateway: symbol maps, what it keeps, shutting the bridge down, and the
engine's requests carried out as GATELINK's calls."""
import threading

import pytest

import corvane_emulator as emu
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway

pytestmark = pytest.mark.timeout(60)

EP = Futures(code="EPZ26", security_name="E-mini S&P 500 Dec 26")


def cel_threads():
    return [t for t in threading.enumerate() if t.name == "cel_threadfunc"]


@pytest.fixture(autouse=True)
def fresh_emulator(gatelink):
    emu.reset()
    yield
    emu.reset()


def test_symbols_maps_and_records():
    seen = []
    gw = CqgGateway([EP], on_record=lambda kind, record: seen.append((kind, record)),
                    history=2)
    assert gw.get_cv_security_from_cqg_symbol("EPZ26") is EP
    assert gw.get_cv_security_from_cqg_symbol("NOPE") is None
    assert gw.get_cqg_symbol_from_cv_security(EP) == "EPZ26"
    assert gw.cqg_quotes == {EP: None} and gw.cqg_orderbooks == {EP: None}
    gw.process_quote("q"), gw.process_orderbook("b"), gw.process_order({"o": 1})
    gw.process_deal({"d": 1})
    kept = (gw.quotes, gw.orderbooks, gw.orders, gw.deals)
    assert [list(k) for k in kept] == [["q"], ["b"], [{"o": 1}], [{"d": 1}]]
    assert seen == [("quote", "q"), ("orderbook", "b"), ("order", {"o": 1}), ("deal", {"d": 1})]


@pytest.mark.parametrize("history", [0, 3])
def test_only_the_latest_records_asked_for_are_kept_and_every_one_counted(history):
    # A session lasts hours at thousands of quotes a second: what is kept must not grow.
    gw = CqgGateway([EP], history=history) if history else CqgGateway([EP])
    for n in range(1000):
        gw.process_quote(n), gw.process_orderbook(n), gw.process_order(n), gw.process_deal(n)
    for kept in (gw.quotes, gw.orderbooks, gw.orders, gw.deals):
        assert list(kept) == list(range(1000 - history, 1000))
    assert gw.received == {"quote": 1000, "orderbook": 1000, "order": 1000, "deal": 1000}


def test_context_manager_shuts_down_also_on_ctrl_c():
    with pytest.raises(KeyboardInterrupt):
        with CqgGateway([EP]) as gw:
            assert cel_threads() and gw.gatelink.gateway is gw
            raise KeyboardInterrupt
    assert gw.comBridge is None and cel_threads() == []
    assert emu.cel_calls()[-1] == "Shutdown"
    gw.close()  # a second close does nothing


def test_requests_before_connect_or_after_close_are_refused_clearly():
    # A closed link would answer from nothing: a zero balance, no bars, as if all were well.
    gw = CqgGateway([EP])
    with pytest.raises(ConnectionError, match="the CQG gateway is not connected"):
        gw.logon("trader", "secret")
    gw.connect()
    gw.close()
    for request in (gw.get_balance, gw.get_positions, lambda: gw.get_bars(EP),
                    lambda: gw.place_order(object()), lambda: gw.subscribe(EP, 5)):
        with pytest.raises(ConnectionError, match="the CQG gateway is closed: connect"):
            request()
    assert "Shutdown" == emu.cel_calls()[-1]  # none of them reached CQGCEL


def test_a_failed_start_shuts_the_bridge_down():
    emu.load_scenario(startup="never")

    def interrupt(configuration):
        raise KeyboardInterrupt  # Ctrl-C while the bridge starts

    gw = CqgGateway([EP], api_configuration=interrupt)
    with pytest.raises(KeyboardInterrupt):
        gw.connect()
    assert gw.comBridge is None and cel_threads() == []


def test_the_engine_s_requests_reach_cqgcel_and_come_back_as_records(gatelink, trace):
    """A session through the operations every gateway offers the engine: each one is the
    GATELINK call it stands for, balance and positions are read afresh, the positions come
    in a list of the caller's own, and unsubscribing ends all three market-data streams."""
    gatelink.TIMEOUT = 10  # answers come through the bridge's pump
    emu.load_scenario(accounts=[{"id": 1001, "name": "SIM-1001",
                                 "summary": {"Balance": [100000.0, 0.0]},
                                 "positions": [{"instrument": "F.US.EPZ26", "quantity": 2,
                                                "side": "buy", "average_price": 5000.25}]}])
    emu.set_history("EPZ26", [{"open": 100.0 + n, "high": 101.0 + n, "low": 99.0 + n,
                               "close": 100.0 + n, "volume": 10} for n in range(6)])
    with CqgGateway([EP]) as gw:
        gw.logon("trader", "secret")
        gw.subscribe_account(1001)
        assert ("GWLogon", ("trader", "secret")) in emu.cel_call_args()

        assert gw.get_balance().cash == 100000.0
        emu.set_summary(1001, "Balance", 0, 123.0)
        assert gw.get_balance() is gw.gatelink.account_balance and gw.get_balance().cash == 123.0
        positions = gw.get_positions()
        assert [(p.security, p.quantity, p.holding_price) for p in positions] == [
            (EP, 2, 5000.25)]
        positions.clear()
        assert len(gw.gatelink.positions) == 1
        emu.set_position(1001, "F.US.EPZ26", 0)
        assert gw.get_positions() == []

        assert gw.get_bars(EP) is None
        gw.subscribe(EP, 4)
        assert [b.open for b in gw.get_bars(EP)] == [102.0, 103.0, 104.0, 105.0]
        assert "Create 1Min timed bars request for EPZ26" in trace
        assert gw.gatelink.eventQuoteDone.is_set() and gw.gatelink.eventOrderbookDone.is_set()
        emu.push_quotes("EPZ26", [("qtTrade", 6000.0)])
        gw.comBridge.cqgCEL.Instruments  # queued behind the quote on the bridge's thread
        assert gw.cqg_quotes[EP].last_price == 6000.0

        del trace[:]
        gw.unsubscribe(EP)
        assert trace == ["Successfully unsubscribe quote for EPZ26",
                         "Successfully unsubscribe orderbook for EPZ26",
                         "Successfully unsubscribe timedbar for EPZ26"]
        assert gw.get_bars(EP) is None
        gw.unsubscribe_account(1001)
        assert trace[-1] == "Unsubscribe account 1001."
        gw.logoff()
        assert trace[-1] == "Successfully logoff account SIM-1001"
        assert emu.cel_call_args()[-1] == ("GWLogoff", ())
