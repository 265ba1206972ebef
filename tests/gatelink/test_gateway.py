"""The framework's CQG gateway: symbol maps, what it keeps, and shutting the bridge down."""
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


def test_a_failed_start_shuts_the_bridge_down():
    emu.load_scenario(startup="never")

    def interrupt(configuration):
        raise KeyboardInterrupt  # Ctrl-C while the bridge starts

    gw = CqgGateway([EP], api_configuration=interrupt)
    with pytest.raises(KeyboardInterrupt):
        gw.connect()
    assert gw.comBridge is None and cel_threads() == []
