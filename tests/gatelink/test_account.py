"""Following an account: subscription, lookup, balance and position refreshes, events."""
import threading
from datetime import datetime

import pytest
from win32com.client import constants

from gatelink_fakes import Account, Position, without

READY = "OnAccountChanged - Accounts are ready!"


def follow(link, cel, account_id=1001):
    link.subscribe_account_and_positions(account_id)
    cel.join_events()


class TestSubscription:
    def test_pause_levels_lines_balance_and_positions(self, gatelink, linked, trace):
        link, cel, gateway = linked
        account = cel.accounts[1]
        account._positions = [Position("F.US.EPZ26", 2, constants.osdBuy, 5000.25),
                              Position("F.US.NQZ26", -3, constants.osdSell, 18000.0)]
        follow(link, cel, 1002)

        assert gatelink.time.pauses == [2]
        assert cel.level_log == [constants.aslNone, constants.aslAccountUpdatesAndOrders]
        assert account.AutoSubscribeInstruments is True
        assert account.PositionSubcriptionLevel == constants.pslSnapshotAndUpdates
        assert link.GWAccountID == 1002
        assert trace.count(READY) == 1
        lookup = ["GW Account id: 1001 name: SIM-1001", "GW Account id: 1002 name: SIM-1002",
                  "[Found] GW Account id: 1002 name: SIM-1002"]
        assert without(trace, READY) == ["Waiting for accounts coming...",
                                         "Select account 1002, subscribe to open positions."] + lookup * 3

        b = link.account_balance
        assert (b.cash, b.available_cash, b.net_cash_power, b.maintenance_margin,
                b.realized_pnl, b.unrealized_pnl) == (100000.0, 100000.0 - 250.0, 99000.0,
                                                      1200.0, 310.0, -45.5)
        assert b.cash_by_currency is None and b.max_power_short is None
        assert account.summary_reads == [("Balance", 0), ("Collaterals", 1), ("NLV", 0),
                                         ("MaintenanceMargin", 1), ("ProfitLoss", 0), ("UPL", 0)]

        p1, p2 = link.positions
        assert (p1.security, p1.direction, p1.holding_price, p1.quantity) == (
            "SEC:EPZ26", gatelink.Direction.LONG, 5000.25, 2)
        assert (p2.security, p2.direction, p2.quantity) == ("SEC:NQZ26", gatelink.Direction.SHORT, 3)
        assert isinstance(p1.update_time, datetime) and p1.update_time.tzinfo is None

    def test_accounts_never_reloaded_times_out(self, linked, trace):
        link, cel, _ = linked
        cel.answer_reload = False
        with pytest.raises(RuntimeError, match="^Accounts coming timeout!$"):
            link.subscribe_account_and_positions(1001)
        assert not hasattr(link, "GWAccountID")

    def test_a_second_subscription_does_not_wait_for_a_new_reload(self, linked, trace):
        link, cel, _ = linked
        follow(link, cel, 1001)
        cel.answer_reload = False
        follow(link, cel, 1002)
        assert link.GWAccountID == 1002

    def test_unknown_account(self, linked, trace):
        link, cel, _ = linked
        follow(link, cel, 1001)
        with pytest.raises(ValueError, match="^GWAccountID 9999 can not be found!$"):
            link.subscribe_account_and_positions(9999)
        # The account followed so far stays followed.
        assert link.GWAccountID == 1001
        with pytest.raises(ValueError, match="^GWAccountID 9999 can not be found!$"):
            link.unsubscribe_account_and_positions(9999)

    def test_unsubscribe(self, linked, trace):
        link, cel, _ = linked
        follow(link, cel, 1001)
        del trace[:]
        link.unsubscribe_account_and_positions(1001)
        account = cel.accounts[0]
        assert cel.level_log[-1] == constants.aslNone
        assert account.AutoSubscribeInstruments is False
        assert account.PositionSubcriptionLevel == constants.pslNoPositions
        assert trace[-1] == "Unsubscribe account 1001."
        assert link.GWAccountID == 1001

    @pytest.mark.parametrize("method", ["subscribe_account_and_positions",
                                        "unsubscribe_account_and_positions",
                                        "get_account_from_gwaccountid"])
    @pytest.mark.parametrize("bad", ["1001", 1001.0, True, None])
    def test_account_id_must_be_an_int(self, linked, trace, method, bad):
        link, cel, _ = linked
        with pytest.raises(TypeError, match="^Argument 'GWAccountID' has incorrect type"):
            getattr(link, method)(bad)
        assert cel.level_log == [] and trace == []


class TestLookup:
    def test_stops_at_the_first_match_and_returns_the_item(self, linked, trace):
        link, cel, _ = linked
        cel.accounts.append(Account(1001, "DUPLICATE"))
        found = link.get_account_from_gwaccountid(GWAccountID=1001)
        assert found is cel.accounts[0]
        assert trace == ["GW Account id: 1001 name: SIM-1001",
                         "[Found] GW Account id: 1001 name: SIM-1001"]

    def test_none_when_absent_after_tracing_every_account(self, linked, trace):
        link, cel, _ = linked
        assert link.get_account_from_gwaccountid(5) is None
        assert trace == ["GW Account id: 1001 name: SIM-1001", "GW Account id: 1002 name: SIM-1002"]


class TestBalanceRefresh:
    def test_error_is_printed_and_previous_record_kept(self, gatelink, linked, trace, capsys):
        link, cel, _ = linked
        before = link.account_balance
        link.update_account_balance()  # nothing followed yet
        out = capsys.readouterr().out
        stamp, sep, message = out.rstrip("\n").partition(": ")
        assert out.count("\n") == 1 and sep and "GWAccountID" in message
        datetime.fromisoformat(stamp)
        assert link.account_balance is before

    def test_error_while_reading_leaves_a_fresh_default_record(self, gatelink, linked, trace, capsys):
        link, cel, _ = linked
        follow(link, cel, 1001)
        capsys.readouterr()
        del cel.accounts[0]._summary._values["NLV"]
        link.update_account_balance()
        assert capsys.readouterr().out.rstrip().endswith(": 'NLV'")
        assert link.account_balance == gatelink.AccountBalance()

    def test_keyboard_interrupt_is_not_swallowed(self, linked, trace):
        link, cel, _ = linked
        follow(link, cel, 1001)

        def interrupt(i):
            raise KeyboardInterrupt

        cel.accounts[0]._summary.Balance = interrupt
        with pytest.raises(KeyboardInterrupt):
            link.update_account_balance()


class TestPositionRefresh:
    def test_skips_and_symbols(self, gatelink, linked, trace):
        link, cel, gateway = linked
        follow(link, cel, 1001)
        cel.accounts[0]._positions = [
            Position("F.US.EPZ26", 0, constants.osdBuy),          # flat: not listed
            Position("F.US.ZZZ99", 1, constants.osdBuy),          # unknown instrument
            Position("NQZ26", 1, 99999),                          # no "." at all
        ]
        gateway.asked.clear()
        with pytest.raises(ValueError, match="^Return CQG Position Side 99999 is invalid!$"):
            link.update_positions()
        assert gateway.asked == ["ZZZ99", "NQZ26"]
        assert link.positions == []

    def test_a_failure_halfway_keeps_what_was_listed(self, gatelink, linked, trace):
        link, cel, _ = linked
        follow(link, cel, 1001)
        cel.accounts[0]._positions = [Position("F.US.EPZ26", -4, constants.osdBuy),
                                      Position("F.US.NQZ26", 1, constants.osdUndefined)]
        old = link.positions
        with pytest.raises(ValueError, match="is invalid!$"):
            link.update_positions()
        assert link.positions is not old
        assert [(p.security, p.quantity) for p in link.positions] == [("SEC:EPZ26", 4)]
        assert not gatelink.lock.locked()

    def test_nothing_followed_is_an_attribute_error(self, linked):
        link, _, _ = linked
        with pytest.raises(AttributeError):
            link.update_positions()


class TestLock:
    def test_the_two_refreshes_never_overlap(self, gatelink, linked, trace):
        link, cel, _ = linked
        follow(link, cel, 1001)
        summary = cel.accounts[0]._summary
        inside, release, order = threading.Event(), threading.Event(), []
        plain_balance = summary.Balance

        def slow_balance(i):
            order.append("balance in")
            inside.set()
            release.wait(30)
            order.append("balance out")
            return plain_balance(i)

        summary.Balance = slow_balance
        positions_started = threading.Event()
        original_find = link.get_account_from_gwaccountid

        def find(GWAccountID):
            if threading.current_thread().name == "positions":
                order.append("positions in")
                positions_started.set()
            return original_find(GWAccountID=GWAccountID)

        link.get_account_from_gwaccountid = find
        a = threading.Thread(target=link.update_account_balance, name="balance")
        a.start()
        assert inside.wait(30)
        b = threading.Thread(target=link.update_positions, name="positions")
        b.start()
        positions_started.wait(0.3)  # it must not get in while the balance holds the lock
        release.set()
        a.join(30)
        b.join(30)
        assert order == ["balance in", "balance out", "positions in"]

    def test_the_lock_is_the_module_lock_read_when_used(self, gatelink, linked, trace):
        link, cel, _ = linked
        follow(link, cel, 1001)
        mine = threading.Lock()
        gatelink.lock = mine
        mine.acquire()
        done = threading.Event()
        t = threading.Thread(target=lambda: (link.update_positions(), done.set()))
        t.start()
        assert not done.wait(0.2)
        mine.release()
        t.join(30)
        assert done.is_set()


class TestAccountEvents:
    def test_position_added_and_changed_lines(self, linked, trace):
        link, cel, _ = linked
        account = cel.accounts[0]
        position = Position("F.US.EPZ26", 3, constants.osdBuy, 5001.5, 12.5, -3.0)
        link.OnAccountChanged(constants.actPositionAdded, account, position)
        link.OnAccountChanged(constants.actPositionChanged, account, position)
        assert trace == [
            "OnAccountChanged - open position is added for SIM-1001 account - instrument: "
            "F.US.EPZ26 average price: 5001.5 quantity: 3 OTE: 12.5 PL: -3.0",
            "OnAccountChanged - open position is changed for SIM-1001 account - instrument: "
            "F.US.EPZ26 average price: 5001.5 quantity: 3 OTE: 12.5 PL: -3.0"]
        assert link.positions == [] and not link.eventAccountIsReady.is_set()

    def test_other_changes_are_ignored(self, linked, trace):
        link, _, _ = linked
        link.OnAccountChanged(constants.actAccountChanged, None, None)
        assert trace == [] and not link.eventAccountIsReady.is_set()
