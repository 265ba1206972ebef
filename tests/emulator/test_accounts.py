"""Accounts, their summaries and positions, as a gateway reaches them through CQGCEL."""
import pytest

import corvane_emulator as emu
import pythoncom
import win32com.client
from win32com.client import constants

from emulator_helpers import wait_until

pytestmark = pytest.mark.timeout(20)

ES = "F.US.EPZ26"
NQ = "F.US.ENQZ26"


class AccountSink:
    def __init__(self):
        self.seen = []

    def OnAccountChanged(self, change, cqgAccount, cqgPosition):
        if cqgAccount is None:
            self.seen.append((change, None, None))
            return
        account = win32com.client.Dispatch(cqgAccount)
        position = win32com.client.Dispatch(cqgPosition)
        self.seen.append((change, account.GWAccountID, position.InstrumentName,
                          position.Quantity, position.AveragePrice))


@pytest.fixture
def cel(apartment):
    return win32com.client.Dispatch("CQG.CQGCEL.4")


def subscribed(cel):
    sink = win32com.client.WithEvents(cel, AccountSink)

    def pumped():
        pythoncom.PumpWaitingMessages()
        return sink.seen

    return pumped


class TestAccountSubscription:
    def test_raising_the_level_reloads_the_accounts_once(self, cel):
        pumped = subscribed(cel)
        cel.AccountSubscriptionLevel = constants.aslNone
        cel.AccountSubscriptionLevel = constants.aslAccountUpdatesAndOrders
        cel.AccountSubscriptionLevel = constants.aslAccountUpdatesAndOrders  # not raised again
        assert pumped() == [(constants.actAccountsReloaded, None, None)]
        assert cel.AccountSubscriptionLevel == constants.aslAccountUpdatesAndOrders

        cel.AccountSubscriptionLevel = constants.aslAccountUpdates
        cel.AccountSubscriptionLevel = constants.aslAccountUpdatesAndOrders
        assert pumped()[1:] == [(constants.actAccountsReloaded, None, None)]
        assert emu.property_log() == [
            ("CQG.CQGCEL.4", "AccountSubscriptionLevel", level) for level in (
                constants.aslNone, constants.aslAccountUpdatesAndOrders,
                constants.aslAccountUpdatesAndOrders, constants.aslAccountUpdates,
                constants.aslAccountUpdatesAndOrders)]

    def test_accounts_never_reloaded(self, cel):
        emu.load_scenario(accounts_reload="never")
        cel = win32com.client.Dispatch("CQG.CQGCEL.4")
        pumped = subscribed(cel)
        cel.AccountSubscriptionLevel = constants.aslAccountUpdatesAndOrders
        emu.advance(3600)
        assert pumped() == []

    @pytest.mark.parametrize("value", [987654, "orders", 1.5])
    def test_a_level_that_is_not_one_is_refused_and_not_logged(self, cel, value):
        with pytest.raises(pythoncom.com_error):
            cel.AccountSubscriptionLevel = value
        assert cel.AccountSubscriptionLevel == constants.aslNone
        assert emu.property_log() == []


class TestAccountCollection:
    def test_iteration_count_and_lookups_agree_in_scenario_order(self, cel):
        emu.load_scenario(accounts=[{"id": 7, "name": "B"}, {"id": 3, "name": "A"},
                                    {"id": 5, "name": "C"}])
        accounts = win32com.client.Dispatch(cel.Accounts)
        assert [(a.GWAccountID, a.GWAccountName) for a in accounts] == [(7, "B"), (3, "A"),
                                                                        (5, "C")]
        assert len(accounts) == accounts.Count == 3
        assert [accounts.ItemByIndex(i).GWAccountName for i in range(3)] == ["B", "A", "C"]
        assert accounts.Item(3).GWAccountName == accounts(3).GWAccountName == "A"
        assert accounts[5].GWAccountName == "C"
        assert accounts.Item(3) == accounts.ItemByIndex(1)  # one object per account

    def test_bad_keys_and_indexes_are_com_errors(self, cel):
        accounts = cel.Accounts
        for bad in (lambda: accounts.Item(999), lambda: accounts.ItemByIndex(2),
                    lambda: accounts.ItemByIndex(-1), lambda: accounts.Item("1001"),
                    lambda: accounts.ItemByIndex()):
            with pytest.raises(pythoncom.com_error):
                bad()

    def test_an_empty_collection_is_still_true(self, cel):
        emu.load_scenario(accounts=[])
        accounts = cel.Accounts
        assert len(accounts) == 0 and list(accounts) == []
        assert accounts

    def test_the_default_accounts(self, cel):
        assert [(a.GWAccountID, a.GWAccountName) for a in cel.Accounts] == [
            (1001, "SIM-1001"), (1002, "SIM-1002")]

    def test_objects_without_collection_members_are_not_containers(self, cel):
        account = cel.Accounts.Item(1001)
        with pytest.raises(TypeError):
            iter(account)
        with pytest.raises(TypeError):
            len(account)
        with pytest.raises(TypeError):
            account(0)
        assert account  # no Count, still true
        positions = account.Positions
        with pytest.raises(TypeError, match="not callable"):
            positions(0)  # a collection without a default member
        with pytest.raises(TypeError, match="not subscriptable"):
            positions[0]


class TestAccountObject:
    def test_settable_flags_are_kept_and_logged(self, cel):
        account = cel.Accounts.Item(1002)
        assert account.AutoSubscribeInstruments is False
        assert account.PositionSubcriptionLevel == constants.pslNoPositions
        account.AutoSubscribeInstruments = True
        account.PositionSubcriptionLevel = constants.pslSnapshotAndUpdates
        assert account.AutoSubscribeInstruments is True
        assert cel.Accounts.Item(1002).PositionSubcriptionLevel == constants.pslSnapshotAndUpdates
        assert emu.property_log() == [
            ("CQGAccount", "AutoSubscribeInstruments", True),
            ("CQGAccount", "PositionSubcriptionLevel", constants.pslSnapshotAndUpdates)]

    def test_bad_values_and_read_only_members(self, cel):
        account = cel.Accounts.Item(1001)
        with pytest.raises(pythoncom.com_error):
            account.AutoSubscribeInstruments = "yes"
        with pytest.raises(pythoncom.com_error):
            account.PositionSubcriptionLevel = constants.aslNone + 1000
        # A generated class has no put for a read-only property: the unknown-name error.
        with pytest.raises(AttributeError, match=r"object has no attribute 'GWAccountName'$"):
            account.GWAccountName = "other"
        assert emu.property_log() == []

    def test_summary_values_are_methods_by_index(self, cel):
        emu.load_scenario(accounts=[{"id": 1, "name": "A", "summary": {
            "Balance": [10.0, 11.0], "Collaterals": [1.0, 2.5], "UPL": [-3.0]}}])
        summary = win32com.client.Dispatch(cel).Accounts.Item(1).Summary
        assert (summary.Balance(0), summary.Balance(1), summary.Collaterals(1),
                summary.UPL(0), summary.NLV(0), summary.MaintenanceMargin(1),
                summary.ProfitLoss(0)) == (10.0, 11.0, 2.5, -3.0, 100000.0, 0.0, 0.0)
        with pytest.raises(TypeError):
            summary.Balance[0]
        with pytest.raises(pythoncom.com_error):
            summary.UPL(1)  # only one index given
        with pytest.raises(pythoncom.com_error):
            summary.Balance()
        with pytest.raises(pythoncom.com_error):
            summary.Balance("0")

        emu.set_summary(1, "UPL", 3, 7.5)
        assert summary.UPL(3) == 7.5 and summary.UPL(2) == 0.0

    def test_summary_and_scenario_input_is_checked(self):
        with pytest.raises(ValueError):
            emu.set_summary(1001, "Cash", 0, 1.0)
        with pytest.raises(ValueError):
            emu.set_summary(999, "Balance", 0, 1.0)
        for accounts in ([{"id": 1}, {"id": 1}], [{"id": 1, "nmae": "x"}],
                         [{"id": 1, "summary": {"Cash": [1.0]}}],
                         [{"id": 1, "positions": [{"quantity": 1}]}],
                         [{"id": 1, "positions": [{"instrument": ES, "side": "long"}]}]):
            with pytest.raises(ValueError):
                emu.load_scenario(accounts=accounts)
        with pytest.raises(TypeError):
            emu.load_scenario(accounts=[{"id": "1"}])


class TestPositions:
    def test_scenario_positions_in_order_with_raw_sides(self, cel):
        emu.load_scenario(accounts=[{"id": 1, "name": "A", "positions": [
            {"instrument": ES, "quantity": -2, "side": "sell", "average_price": 5000.25,
             "ote": -12.5, "profit_loss": 3.0},
            {"instrument": NQ, "quantity": 1, "side": 99},
            {"instrument": "F.US.ZCEZ26", "quantity": 0},
        ]}])
        positions = cel.Accounts.Item(1).Positions
        assert positions.Count == len(positions) == 3
        first = positions.ItemByIndex(0)
        assert (first.InstrumentName, first.Quantity, first.Side, first.AveragePrice, first.OTE,
                first.ProfitLoss) == (ES, -2, constants.osdSell, 5000.25, -12.5, 3.0)
        assert [(p.InstrumentName, p.Side) for p in positions] == [
            (ES, constants.osdSell), (NQ, 99), ("F.US.ZCEZ26", constants.osdBuy)]
        with pytest.raises(pythoncom.com_error):
            positions.ItemByIndex(3)

    def test_set_position_fires_added_then_changed_and_objects_follow(self, cel):
        pumped = subscribed(cel)
        positions = cel.Accounts.Item(1002).Positions
        assert positions.Count == 0
        emu.set_position(1002, ES, 2, average_price=4990.0)
        assert pumped() == [(constants.actPositionAdded, 1002, ES, 2, 4990.0)]
        held = positions.ItemByIndex(0)
        emu.set_position(1002, ES, -1, side="sell", average_price=4995.5, ote=1.0)
        emu.set_position(1002, NQ, 3)
        assert pumped()[1:] == [
            (constants.actPositionChanged, 1002, ES, -1, 4995.5),
            (constants.actPositionAdded, 1002, NQ, 3, 0.0),
        ]
        assert (held.Quantity, held.Side, held.OTE) == (-1, constants.osdSell, 1.0)
        assert [(p.InstrumentName, p.Side) for p in positions] == [(ES, constants.osdSell),
                                                                    (NQ, constants.osdBuy)]
        assert cel.Accounts.Item(1001).Positions.Count == 0

    def test_set_position_before_any_cqgcel_and_for_unknown_accounts(self):
        emu.set_position(1001, ES, 4)  # no CQGCEL yet: the book changes, nothing fires
        with pytest.raises(ValueError):
            emu.set_position(4242, ES, 1)
        with pytest.raises(ValueError):
            emu.set_position(1001, ES, 1, side="flat")
        pythoncom.CoInitialize()
        try:
            cel = win32com.client.Dispatch("CQG.CQGCEL.4")
            assert cel.Accounts.Item(1001).Positions.ItemByIndex(0).Quantity == 4
        finally:
            pythoncom.CoUninitialize()


class TestFailingMembers:
    def test_a_read_fails_a_number_of_times_then_recovers(self, cel):
        account = cel.Accounts.Item(1001)
        emu.fail_property("CQGAccount", "gwaccountname", times=2)
        for _ in range(2):
            with pytest.raises(pythoncom.com_error) as raised:
                account.GWAccountName
            assert raised.value.hresult == -2147352567
            assert "GWAccountName" in raised.value.excepinfo[2]
        assert account.GWAccountName == "SIM-1001"
        assert account.GWAccountID == 1001  # other members never failed

    def test_calls_fail_until_cleared_and_enumeration_becomes_a_type_error(self, cel):
        summary = cel.Accounts.Item(1001).Summary
        emu.fail_property("CQGAccountSummary", "Balance")
        emu.fail_property("CQGAccounts", "_NewEnum")
        emu.fail_property("CQG.CQGCEL.4", "Accounts")
        for _ in range(3):
            with pytest.raises(pythoncom.com_error):
                summary.Balance(0)
        with pytest.raises(pythoncom.com_error):
            cel.Accounts
        emu.clear_faults()
        accounts = cel.Accounts
        emu.fail_property("CQGAccounts", "_NewEnum")
        with pytest.raises(TypeError):
            list(accounts)
        emu.clear_faults()
        assert summary.Balance(0) == 100000.0 and len(list(accounts)) == 2

    def test_assignments_are_not_affected(self, cel):
        emu.fail_property("CQGAccount", "AutoSubscribeInstruments")
        account = cel.Accounts.Item(1001)
        account.AutoSubscribeInstruments = True
        with pytest.raises(pythoncom.com_error):
            account.AutoSubscribeInstruments


def test_the_account_flow_through_a_proxy_from_another_thread(owner_thread):
    """What the gateway does from its own thread while the owner pumps."""
    emu.load_scenario(accounts=[{"id": 77, "name": "LIVE-77", "positions": [
        {"instrument": ES, "quantity": 5, "side": "buy", "average_price": 4000.0}]}])
    owner = owner_thread(sink_class=AccountSink)
    cel = owner.proxy()
    cel.AccountSubscriptionLevel = constants.aslNone
    cel.AccountSubscriptionLevel = constants.aslAccountUpdatesAndOrders
    assert wait_until(lambda: owner.sink.seen)

    accounts = win32com.client.Dispatch(cel.Accounts)
    found = [account for account in accounts if account.GWAccountID == 77]
    assert len(found) == 1 and len(accounts) == 1
    account = found[0]
    account.AutoSubscribeInstruments = True
    account.PositionSubcriptionLevel = constants.pslSnapshotAndUpdates
    assert account.Summary.Balance(0) == 100000.0
    positions = account.Positions
    assert [(positions.ItemByIndex(n).InstrumentName, positions.ItemByIndex(n).Quantity)
            for n in range(positions.Count)] == [(ES, 5)]

    emu.set_position(77, ES, 6, average_price=4001.0)
    assert wait_until(lambda: len(owner.sink.seen) == 2)
    assert owner.sink.seen == [(constants.actAccountsReloaded, None, None),
                               (constants.actPositionChanged, 77, ES, 6, 4001.0)]
    assert [entry[:2] for entry in emu.property_log()] == [
        ("CQG.CQGCEL.4", "AccountSubscriptionLevel"),
        ("CQG.CQGCEL.4", "AccountSubscriptionLevel"),
        ("CQGAccount", "AutoSubscribeInstruments"),
        ("CQGAccount", "PositionSubcriptionLevel")]
