"""Stand-ins shaped like pywin32's wrappers of CQGCEL objects, for calling GATELINK's
requests and handlers directly: unhashable, indexed properties as methods, collections that
iterate, server answers delivered as events from another thread."""
import threading

from win32com.client import constants

MODULE = "corvane.gateways.cqg.wrapper.gatelink"


def without(lines, line):
    return [x for x in lines if x != line]


class Wrapper:
    """Equality by identity and no hash, as a pywin32 dispatch wrapper."""

    def __eq__(self, other):
        return self is other

    __hash__ = None


class Summary(Wrapper):
    """Values per index; every read is logged as (name, index)."""

    def __init__(self, values, reads):
        self._values, self._reads = values, reads

    def _value(self, name, index):
        if type(index) is not int:
            raise TypeError("index must be an int")
        self._reads.append((name, index))
        return self._values[name][index]

    def Balance(self, i): return self._value("Balance", i)
    def Collaterals(self, i): return self._value("Collaterals", i)
    def NLV(self, i): return self._value("NLV", i)
    def MaintenanceMargin(self, i): return self._value("MaintenanceMargin", i)
    def ProfitLoss(self, i): return self._value("ProfitLoss", i)
    def UPL(self, i): return self._value("UPL", i)


class Position(Wrapper):
    def __init__(self, instrument, quantity, side, average_price=0.0, ote=0.0, profit_loss=0.0):
        self.InstrumentName, self.Quantity, self.Side = instrument, quantity, side
        self.AveragePrice, self.OTE, self.ProfitLoss = average_price, ote, profit_loss


class Positions(Wrapper):
    def __init__(self, items):
        self._items = items

    @property
    def Count(self):
        return len(self._items)

    def ItemByIndex(self, i):
        return self._items[i]


def default_summary():
    return {"Balance": [100000.0, 1.0], "Collaterals": [2.0, 250.0], "NLV": [99000.0, 3.0],
            "MaintenanceMargin": [4.0, 1200.0], "ProfitLoss": [310.0, 5.0],
            "UPL": [-45.5, 6.0]}


class Account(Wrapper):
    def __init__(self, gw_id, name, summary=None, positions=()):
        self.GWAccountID, self.GWAccountName = gw_id, name
        self.summary_reads = []
        self._summary = Summary(summary or default_summary(), self.summary_reads)
        self._positions = list(positions)
        self.AutoSubscribeInstruments = None
        self.PositionSubcriptionLevel = None

    @property
    def Summary(self):
        return self._summary

    @property
    def Positions(self):
        return Positions(self._positions)


class Accounts(Wrapper):
    def __init__(self, items):
        self._items = items

    def __iter__(self):
        return iter(self._items)


class CEL(Wrapper):
    """CQGCEL as the framework thread sees it. Answers go to `sink` from another thread,
    as the CEL thread delivers events; `answer_*` False leaves a request unanswered."""

    def __init__(self, accounts=None):
        self.sink = None
        self.calls = []
        self.level_log = []
        self.answer_logon = self.answer_logoff = self.answer_reload = True
        self.accounts = accounts if accounts is not None else [
            Account(1001, "SIM-1001"), Account(1002, "SIM-1002")]
        self._threads = []

    def _event(self, handler, *args):
        t = threading.Thread(target=lambda: getattr(self.sink, handler)(*args))
        t.start()
        self._threads.append(t)

    def join_events(self):
        for t in self._threads:
            t.join()

    def GWLogon(self, user, password):
        self.calls.append(("GWLogon", user, password))
        if self.answer_logon:
            self._event("OnGWConnectionStatusChanged", constants.csConnectionUp)

    def GWLogoff(self):
        self.calls.append(("GWLogoff",))
        if self.answer_logoff:
            self._event("OnGWConnectionStatusChanged", constants.csConnectionDown)

    @property
    def AccountSubscriptionLevel(self):
        return self.level_log[-1] if self.level_log else constants.aslNone

    @AccountSubscriptionLevel.setter
    def AccountSubscriptionLevel(self, level):
        self.level_log.append(level)
        if level == constants.aslAccountUpdatesAndOrders and self.answer_reload:
            self._event("OnAccountChanged", constants.actAccountsReloaded, None, None)

    @property
    def Accounts(self):
        return Accounts(self.accounts)


class Bridge:
    def __init__(self, cel):
        self.cqgCEL = cel


class Gateway:
    """The framework gateway as GATELINK uses it: the bridge and the symbol look-up."""

    def __init__(self, cel, known=("EPZ26", "NQZ26")):
        self.comBridge = Bridge(cel)
        self.known = set(known)
        self.asked = []

    def get_cv_security_from_cqg_symbol(self, symbol):
        self.asked.append(symbol)
        return f"SEC:{symbol}" if symbol in self.known else None


def linked_over(gatelink, cel, make_gateway=Gateway):
    """Yields a GATELINK bound to a gateway over `cel`, whose events reach it; at the end
    waits for the events still on their way."""
    gateway = make_gateway(cel)
    link = gatelink.GATELINK()
    link.Init(gateway)
    cel.sink = link
    yield link, cel, gateway
    cel.join_events()
