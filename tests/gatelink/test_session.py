"""Logon, logoff and the connection and error callbacks, called directly."""
import threading

import pytest
from win32com.client import constants

from gatelink_fakes import without


class TestModuleLayout:
    def test_names_and_values(self, gatelink):
        fresh = gatelink
        assert fresh.INVALID_VALUE == -2 ** 31
        assert str(fresh.TIMEZONE) == "Asia/Hong_Kong"
        assert isinstance(fresh.lock, type(threading.Lock()))
        from corvane.gateways.cqg.wrapper import ComBridge
        assert issubclass(fresh.GATELINK, ComBridge.CELSinkBase)
        assert fresh.GATELINK.__doc__ == "CQG Integrated Client API"
        assert fresh.Trace is ComBridge.Trace and fresh.win32com.client.constants is constants

    def test_methods_in_class_order_with_their_parameter_names(self, gatelink):
        own = [k for k, v in vars(gatelink.GATELINK).items() if callable(v)]
        assert own == ["__init__", "Init", "Logon", "Logoff", "get_instrument_from_cqg_symbol",
                       "get_timedbars_from_cqg_symbol", "get_ticks_from_cqg_symbol",
                       "get_account_from_gwaccountid", "subscribe_quote", "unsubscribe_quote",
                       "subscribe_orderbook", "unsubscribe_orderbook", "subscribe_bar",
                       "unsubscribe_bar", "subscribe_account_and_positions",
                       "unsubscribe_account_and_positions", "update_account_balance",
                       "update_positions", "get_subscribe_bars_data", "OnDataError",
                       "OnInstrumentResolved", "OnInstrumentChanged", "OnTicksResolved",
                       "OnTicksAdded", "OnTicksRemoved", "OnTimedBarsResolved",
                       "OnTimedBarsAdded", "OnTimedBarsUpdated", "OnTimedBarsRemoved", "dumpBar",
                       "place_order", "cancel_order", "OnAccountChanged", "OnOrderChanged",
                       "OnGWConnectionStatusChanged",
                       "OnDataConnectionStatusChanged"]
        link = gatelink.GATELINK()
        with pytest.raises(TypeError):
            link.Logon(user="a", password="b")  # the names are user_name and password
        link.OnGWConnectionStatusChanged(connectionStatus=-12345)
        link.OnAccountChanged(change=-12345, cqgAccount=None, cqgPosition=None)

    def test_an_unloaded_module_frees_its_class_once_no_instance_needs_its_globals(self):
        # GATELINK's methods read the module's globals from C++; unless the collector sees
        # that reference, the globals, which hold the class, are never freed. A live
        # instance keeps them, as a Python function keeps the globals it reads.
        import gc
        import importlib
        import sys
        import weakref

        name = "corvane.gateways.cqg.wrapper.gatelink"
        package = importlib.import_module(name.rpartition(".")[0])
        before = sys.modules.pop(name, None)
        try:
            module = importlib.import_module(name)
            heard = []
            module.print = heard.append
            link = module.GATELINK()
            cls = weakref.ref(module.GATELINK)
            sys.modules.pop(name)
            delattr(package, "gatelink")
            del module
            for _ in range(3):
                gc.collect()
            link.OnDataConnectionStatusChanged(newStatus=7)
            assert heard == ["DataConnectionStatus=7"]
            del link
            for _ in range(3):  # each round frees what C++ held for the one before
                gc.collect()
            assert cls() is None
        finally:
            if before is not None:
                sys.modules[name] = before
                setattr(package, "gatelink", before)

    def test_a_failing_import_fails_the_module_with_that_error(self, monkeypatch):
        import importlib
        import sys
        monkeypatch.setitem(sys.modules, "pytz", None)
        sys.modules.pop("corvane.gateways.cqg.wrapper.gatelink", None)
        with pytest.raises(ImportError, match="pytz"):
            importlib.import_module("corvane.gateways.cqg.wrapper.gatelink")
        sys.modules.pop("corvane.gateways.cqg.wrapper.gatelink", None)


class TestConstruction:
    def test_exactly_the_attributes_in_order(self, gatelink):
        link = gatelink.GATELINK()
        assert list(vars(link)) == [
            "eventGatewayIsUp", "eventGatewayIsDown", "eventAccountIsReady", "eventOrderPlaced",
            "eventQuoteDone", "eventOrderbookDone", "eventBarDone", "subscribe_bars_data",
            "account_balance", "positions", "order_id"]
        events = [getattr(link, k) for k in list(vars(link))[:7]]
        assert all(isinstance(e, threading.Event) and not e.is_set() for e in events)
        assert len({id(e) for e in events}) == 7
        assert link.subscribe_bars_data == {} and link.positions == [] and link.order_id is None
        assert link.account_balance == gatelink.AccountBalance()
        other = gatelink.GATELINK()
        assert other.positions is not link.positions

    def test_built_as_a_com_binding_builds_its_sink(self, gatelink):
        class Events:  # the generated events class comes first, as WithEvents builds it
            def __init__(self, oobj):
                self._olecp = oobj

            def close(self):
                self._olecp = None

        cls = type("COMEventClass", (Events, gatelink.GATELINK), {})
        sink = cls("connection")
        gatelink.GATELINK.__init__(sink)
        assert sink._olecp == "connection" and isinstance(sink.eventGatewayIsUp, threading.Event)
        sink.OnDataConnectionStatusChanged(3)  # handlers work on the mixed instance
        sink.close()

    def test_init_binds_the_gateway_and_its_bridge(self, gatelink):
        class Gw:
            comBridge = object()

        link, gw = gatelink.GATELINK(), Gw()
        assert link.Init(gw) is None
        assert link.comBridge is Gw.comBridge and link.gateway is gw
        with pytest.raises(AttributeError):
            link.Init(object())


class TestLogon:
    def test_lines_and_call(self, linked, trace):
        link, cel, _ = linked
        assert link.Logon("trader", "secret") is None
        cel.join_events()
        assert cel.calls == [("GWLogon", "trader", "secret")]
        # The answer comes from another thread: its line may fall anywhere after the call.
        assert trace.count("GW connection is UP!") == 1
        assert without(trace, "GW connection is UP!") == ["Connecting to GW",
                                                           "Waiting for GW connection..."]

    def test_times_out_when_never_answered(self, linked, trace):
        link, cel, _ = linked
        cel.answer_logon = False
        with pytest.raises(RuntimeError, match="^GW connection timeout!$"):
            link.Logon("trader", "secret")
        assert trace == ["Connecting to GW", "Waiting for GW connection..."]
        link.OnGWConnectionStatusChanged(constants.csConnectionUp)  # a late "up" still counts
        assert link.eventGatewayIsUp.is_set()

    def test_second_logon_returns_at_once(self, linked, trace):
        link, cel, _ = linked
        link.Logon("trader", "secret")
        cel.answer_logon = False  # no new "up": the event set by the first is enough
        link.Logon("trader", "secret")
        assert [c[0] for c in cel.calls] == ["GWLogon", "GWLogon"]

    @pytest.mark.parametrize("user, password, bad", [
        (None, "secret", "user_name"), (b"trader", "secret", "user_name"),
        ("trader", 1234, "password"), ("trader", None, "password")])
    def test_only_exact_text_is_accepted(self, linked, trace, user, password, bad):
        link, cel, _ = linked
        with pytest.raises(TypeError, match=f"^Argument '{bad}' has incorrect type"):
            link.Logon(user, password)
        class Text(str):
            pass
        with pytest.raises(TypeError, match="got Text"):
            link.Logon(Text("trader"), "secret")
        assert cel.calls == [] and trace == []


class TestLogoff:
    def test_lines_after_following_an_account(self, linked, trace):
        link, cel, _ = linked
        link.GWAccountID = 1002
        assert link.Logoff() is None
        assert cel.calls == [("GWLogoff",)]
        assert trace.count("GW connection is DOWN!") == 1
        assert without(trace, "GW connection is DOWN!") == [
            "Logoff from GW",
            "GW Account id: 1001 name: SIM-1001",
            "GW Account id: 1002 name: SIM-1002",
            "[Found] GW Account id: 1002 name: SIM-1002",
            "Successfully logoff account SIM-1002"]

    def test_clears_the_down_event_first(self, linked, trace):
        link, cel, _ = linked
        link.GWAccountID = 1001
        link.OnGWConnectionStatusChanged(constants.csConnectionDown)  # an old "down"
        cel.answer_logoff = False
        with pytest.raises(RuntimeError, match="^GW disconnection timeout!$"):
            link.Logoff()
        assert not link.eventGatewayIsDown.is_set()
        assert not any(line.startswith("Successfully") for line in trace)

    def test_without_a_followed_account_still_logs_off_naming_no_account(self, linked, trace):
        link, cel, _ = linked
        assert link.Logoff() is None
        assert cel.calls == [("GWLogoff",)]
        assert without(trace, "GW connection is DOWN!") == ["Logoff from GW",
                                                            "Successfully logoff"]

    def test_an_account_id_that_fails_otherwise_than_missing_is_raised(self, gatelink, linked):
        class Failing(gatelink.GATELINK):
            @property
            def GWAccountID(self):
                raise LookupError("account store unavailable")

        link, cel, _ = linked
        link.__class__ = Failing
        with pytest.raises(LookupError, match="account store unavailable"):
            link.Logoff()
        assert cel.calls == []

    def test_account_no_longer_listed_is_named_by_its_id(self, linked, trace):
        link, cel, _ = linked
        link.GWAccountID = 4242
        link.Logoff()
        assert trace[-1] == "Successfully logoff account 4242"

    def test_uses_an_overridden_account_lookup(self, gatelink, wrap_as_is, trace):
        from gatelink_fakes import CEL, Account, Gateway

        class Mine(gatelink.GATELINK):
            def get_account_from_gwaccountid(self, GWAccountID):
                return Account(GWAccountID, "OVERRIDDEN")

        cel = CEL()
        link = Mine()
        link.Init(Gateway(cel))
        cel.sink = link
        link.GWAccountID = 7
        link.Logoff()
        cel.join_events()
        assert trace[-1] == "Successfully logoff account OVERRIDDEN"


class TestCallbacks:
    def test_connection_status(self, linked, trace):
        link, _, _ = linked
        link.OnGWConnectionStatusChanged(constants.csConnectionDelayed)
        assert trace == [] and not link.eventGatewayIsUp.is_set()
        assert not link.eventGatewayIsDown.is_set()
        link.OnGWConnectionStatusChanged(constants.csConnectionDown)
        assert trace == ["GW connection is DOWN!"] and link.eventGatewayIsDown.is_set()
        assert not link.eventGatewayIsUp.is_set()

    def test_data_connection_status_is_printed_not_traced(self, linked, trace, capsys):
        link, _, _ = linked
        assert link.OnDataConnectionStatusChanged(7) is None
        assert capsys.readouterr().out == "DataConnectionStatus=7\n" and trace == []

    def test_data_error(self, linked, trace):
        link, _, _ = linked

        class Error:
            Code, Description = 5, "bad symbol"

        link.OnDataError(None, "ignored")
        assert trace == []
        link.OnDataError(Error(), "not used")
        assert trace == ["OnDataError: Code: 5 Description: bad symbol"]

    def test_real_progress_log_format(self, gatelink, capsys):
        link = gatelink.GATELINK()
        link.OnGWConnectionStatusChanged(constants.csConnectionUp)
        out = capsys.readouterr().out
        assert out == f"{threading.get_ident()}: GW connection is UP!\n"
