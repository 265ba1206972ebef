"""GATELINK driven through the framework's CQG gateway, the real COM bridge and the
emulated CQGCEL: events arrive on the bridge's thread as bare interfaces."""
import subprocess
import sys
import textwrap

import pytest
from win32com.client import constants

import corvane_emulator as emu
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway

from gatelink_fakes import without

pytestmark = [pytest.mark.timeout(60),
              pytest.mark.skipif(not hasattr(emu, "set_position"),
                                 reason="the emulator has no accounts yet")]

EP = Futures(code="EPZ26", security_name="E-mini S&P 500 Dec 26")
NQ = Futures(code="NQZ26", security_name="E-mini Nasdaq 100 Dec 26")
SUMMARY = {"Balance": [100000.0, 1.0], "Collaterals": [2.0, 250.0], "NLV": [99000.0, 3.0],
           "MaintenanceMargin": [4.0, 1200.0], "ProfitLoss": [310.0, 5.0], "UPL": [-45.5, 6.0]}
UP, DOWN = "GW connection is UP!", "GW connection is DOWN!"
READY = "OnAccountChanged - Accounts are ready!"


def scenario(**extra):
    accounts = [{"id": 1001, "name": "SIM-1001", "summary": SUMMARY,
                 "positions": [{"instrument": "F.US.EPZ26", "quantity": 2, "side": "buy",
                                "average_price": 5000.25},
                               {"instrument": "F.US.NQZ26", "quantity": -3, "side": "sell",
                                "average_price": 18000.0},
                               {"instrument": "F.US.ZZZ99", "quantity": 1, "side": "buy"}]},
                {"id": 1002, "name": "SIM-1002"}]
    emu.load_scenario(**{"accounts": accounts, **extra})


@pytest.fixture
def gateway(gatelink, trace):
    emu.reset()
    gw = CqgGateway([EP, NQ])
    yield gw
    gw.close()
    emu.reset()


def settle(gateway, link):
    """Returns once every event raised so far has been handled: a reload is asked for and
    its answer comes after them."""
    link.eventAccountIsReady.clear()
    cel = gateway.comBridge.cqgCEL
    cel.AccountSubscriptionLevel = constants.aslNone
    cel.AccountSubscriptionLevel = constants.aslAccountUpdatesAndOrders
    assert link.eventAccountIsReady.wait(10)


def connected(gateway, **extra):
    scenario(**extra)
    return gateway.connect().gatelink


class TestSession:
    def test_logon_and_logoff_round(self, gatelink, gateway, trace):
        link = connected(gateway)
        assert link is gateway.gatelink and link.gateway is gateway
        assert isinstance(link, gatelink.GATELINK) and link.comBridge is gateway.comBridge
        link.Logon("trader", "secret")
        assert UP in trace
        assert without(trace, UP) == ["Connecting to GW", "Waiting for GW connection..."]
        link.subscribe_account_and_positions(1001)
        del trace[:]
        link.Logoff()
        assert without(trace, DOWN)[0] == "Logoff from GW"
        assert trace[-1] == "Successfully logoff account SIM-1001" and DOWN in trace
        assert emu.cel_call_args()[-2:] == [("GWLogon", ("trader", "secret")), ("GWLogoff", ())]

    def test_rejected_logon_is_a_data_error_then_a_timeout(self, gateway, trace):
        link = connected(gateway)
        with pytest.raises(RuntimeError, match="^GW connection timeout!$"):
            link.Logon("trader", "wrong")
        assert any(line.startswith("OnDataError: Code: ") for line in trace)

    def test_logoff_never_answered(self, gateway, trace):
        link = connected(gateway, logoff="never")
        link.Logon("trader", "secret")
        link.subscribe_account_and_positions(1002)
        with pytest.raises(RuntimeError, match="^GW disconnection timeout!$"):
            link.Logoff()

    def test_gateway_drop_and_data_connection(self, gateway, trace, capsys):
        link = connected(gateway)
        link.Logon("trader", "secret")
        link.eventGatewayIsDown.clear()
        emu.drop_gateway()
        assert link.eventGatewayIsDown.wait(10)
        emu.set_data_connection(constants.csConnectionUp)
        emu.restore_gateway()
        link.eventGatewayIsUp.clear()
        assert link.eventGatewayIsUp.wait(10)
        assert f"DataConnectionStatus={constants.csConnectionUp}" in capsys.readouterr().out


class TestAccount:
    def test_subscription_balance_and_positions(self, gatelink, gateway, trace):
        link = connected(gateway)
        link.subscribe_account_and_positions(1001)
        assert gatelink.time.pauses == [2]
        log = [entry for entry in emu.property_log() if entry[1] != "AutoSubscribeInstruments"
               or entry[0] == "CQGAccount"]
        assert log == [("CQG.CQGCEL.4", "AccountSubscriptionLevel", constants.aslNone),
                       ("CQG.CQGCEL.4", "AccountSubscriptionLevel",
                        constants.aslAccountUpdatesAndOrders),
                       ("CQGAccount", "AutoSubscribeInstruments", True),
                       ("CQGAccount", "PositionSubcriptionLevel", constants.pslSnapshotAndUpdates)]
        assert trace.count(READY) == 1
        assert without(trace, READY)[:2] == ["Waiting for accounts coming...",
                                             "Select account 1001, subscribe to open positions."]
        b = link.account_balance
        assert (b.cash, b.available_cash, b.net_cash_power, b.maintenance_margin,
                b.realized_pnl, b.unrealized_pnl) == (100000.0, 99750.0, 99000.0, 1200.0,
                                                      310.0, -45.5)
        assert [(p.security, p.direction, p.quantity, p.holding_price) for p in link.positions] == [
            (EP, gatelink.Direction.LONG, 2, 5000.25), (NQ, gatelink.Direction.SHORT, 3, 18000.0)]

        emu.set_summary(1001, "Balance", 0, 123.0)
        link.update_account_balance()
        assert link.account_balance.cash == 123.0

        link.unsubscribe_account_and_positions(1001)
        assert emu.property_log()[-3:] == [
            ("CQG.CQGCEL.4", "AccountSubscriptionLevel", constants.aslNone),
            ("CQGAccount", "AutoSubscribeInstruments", False),
            ("CQGAccount", "PositionSubcriptionLevel", constants.pslNoPositions)]
        assert trace[-1] == "Unsubscribe account 1001."

    def test_accounts_never_reloaded(self, gateway, trace):
        link = connected(gateway, accounts_reload="never")
        with pytest.raises(RuntimeError, match="^Accounts coming timeout!$"):
            link.subscribe_account_and_positions(1001)

    def test_unknown_account(self, gateway, trace):
        link = connected(gateway)
        with pytest.raises(ValueError, match="^GWAccountID 77 can not be found!$"):
            link.subscribe_account_and_positions(77)

    def test_position_events_are_traced(self, gateway, trace):
        link = connected(gateway)
        link.subscribe_account_and_positions(1002)
        # A position is a live object: each event is handled before the next change.
        emu.set_position(1002, "F.US.EPZ26", 4, "buy", 5010.0, 12.5, -3.0)
        settle(gateway, link)
        emu.set_position(1002, "F.US.EPZ26", 5, "buy", 5011.0, 13.5, -4.0)
        settle(gateway, link)
        assert [line for line in trace if line.startswith("OnAccountChanged - open")] == [
            "OnAccountChanged - open position is added for SIM-1002 account - instrument: "
            "F.US.EPZ26 average price: 5010.0 quantity: 4 OTE: 12.5 PL: -3.0",
            "OnAccountChanged - open position is changed for SIM-1002 account - instrument: "
            "F.US.EPZ26 average price: 5011.0 quantity: 5 OTE: 13.5 PL: -4.0"]

    def test_invalid_side_and_failing_summary(self, gateway, trace, capsys):
        link = connected(gateway)
        link.subscribe_account_and_positions(1001)
        emu.set_position(1001, "F.US.EPZ26", 1, 77)
        with pytest.raises(ValueError, match="^Return CQG Position Side 77 is invalid!$"):
            link.update_positions()
        capsys.readouterr()
        emu.fail_property("CQGAccountSummary", "NLV", times=1)
        link.update_account_balance()
        out = capsys.readouterr().out
        assert out.count("\n") == 1 and "NLV" in out


CHILD = textwrap.dedent("""
    import sys
    sys.path.insert(0, {tests!r})
    import corvane_emulator as emu
    from corvane.core.security import Futures
    from corvane.gateways.cqg.gateway import CqgGateway
    from corvane.gateways.cqg.wrapper import gatelink
    from test_through_bridge import settle

    gatelink.time = type("NoPause", (), {{"sleep": staticmethod(lambda seconds: None)}})
    emu.reset()
    with CqgGateway([Futures(code="EPZ26", security_name="x")]) as gw:
        link = gw.gatelink
        link.subscribe_account_and_positions(1001)
        emu.fail_property("CQGAccount", "GWAccountID")
        try:
            link.get_account_from_gwaccountid(1001)
        except Exception as error:
            print("request raised", type(error).__name__)
        emu.fail_property("CQGAccount", "GWAccountName")
        emu.set_position(1001, "F.US.EPZ26", 1)  # the handler's read fails on the CEL thread
        settle(gw, link)
        emu.clear_faults()
        print("handler survived")
""")


def test_failing_reads_raise_in_requests_and_handlers_without_ending_the_process(tmp_path):
    import os
    script = tmp_path / "child.py"
    script.write_text(CHILD.format(tests=os.path.dirname(__file__)))
    result = subprocess.run([sys.executable, str(script)], capture_output=True, text=True,
                            timeout=60)
    assert result.returncode == 0, result.stderr
    assert "request raised com_error" in result.stdout
    assert "handler survived" in result.stdout
    assert "GWAccountName" in result.stderr  # the handler's error was printed by the pump
