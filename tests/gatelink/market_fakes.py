"""Stand-ins shaped like pywin32's wrappers of CQGCEL's market-data objects (instruments,
quotes, ticks, timed bars) and a framework gateway that keeps and records what it is given."""
import datetime as dt

from win32com.client import constants

from corvane.core.constants import Exchange
from corvane.core.security import Futures
from gatelink_fakes import Bridge, Wrapper

INVALID = -2147483648
UTC = dt.timezone.utc


class Collection(Wrapper):
    """Iterates, answers Count and Item(i), as a dispatch wrapper of a CQG collection."""

    def __init__(self, items=()):
        self.items = list(items)

    def __iter__(self):
        return iter(list(self.items))

    def __len__(self):
        return len(self.items)

    @property
    def Count(self):
        return len(self.items)

    def Item(self, index):
        if type(index) is not int:
            raise TypeError("index must be an int")
        return self.items[index]


class Instrument(Wrapper):
    def __init__(self, full_name):
        self.FullName = full_name
        self.DataSubscriptionLevel = constants.dsNone


class CQGQuote(Wrapper):
    """A quote: the price is answered only as CQGCEL spells it, `Price`, as a generated
    class answers."""

    def __init__(self, type_name, price, valid=True):
        self.Type = getattr(constants, type_name) if isinstance(type_name, str) else type_name
        self.Price = price
        self.IsValid = valid


class Request(Wrapper):
    """A request object: every property assignment and call is logged in order."""

    def __init__(self, log, **initial):
        object.__setattr__(self, "_log", log)
        for name, value in initial.items():
            object.__setattr__(self, name, value)

    def __setattr__(self, name, value):
        self._log.append((name, value))
        object.__setattr__(self, name, value)

    def IncludeOutput(self, output, flag):
        self._log.append(("IncludeOutput", output, flag))


class Tick(Wrapper):
    def __init__(self, type_name, price, volume):
        self.PriceType = getattr(constants, type_name) if isinstance(type_name, str) else type_name
        self.Price, self.Volume = price, volume


class Ticks(Collection):
    def __init__(self, symbol, ticks=()):
        super().__init__(ticks)
        self.Request = Request([], Symbol=symbol)


class CQGBar(Wrapper):
    def __init__(self, when, open=1.0, high=2.0, low=0.5, close=1.5, volume=10):
        self.Timestamp = when
        self.Open, self.High, self.Low, self.Close, self.ActualVolume = open, high, low, close, volume
        self.ActualVolumeFractional = float(volume)
        self.CommodityVolumeFractional = 0.0
        self.ContractVolumeFractional = float(volume)
        self.TickVolume = 3


def stamp(minute, second=0, millisecond=250):
    """A CQG time stamp as the platform delivers it: aware, labelled UTC, with milliseconds."""
    return dt.datetime(2026, 3, 2, 9, minute, second, millisecond * 1000, tzinfo=UTC)


def naive(minute, second=0):
    return dt.datetime(2026, 3, 2, 9, minute, second)


class TimedBars(Collection):
    """`completed` closed bars followed by the bar being formed."""

    def __init__(self, symbol, bars=()):
        super().__init__(bars)
        self.Request = Request([], Symbol=symbol)


class MarketCEL(Wrapper):
    """CQGCEL's market-data side: requests are logged and answered only when a test says."""

    def __init__(self):
        self.calls = []
        self.request_log = []
        self.Instruments = Collection()
        self.AllTicks = Collection()
        self.AllTimedBars = Collection()
        self.on_request = None  # called with (member, argument) to answer synchronously

    def _called(self, member, argument):
        self.calls.append((member, argument))
        if self.on_request:
            self.on_request(member, argument)

    def NewInstrument(self, symbol):
        self._called("NewInstrument", symbol)

    def RemoveInstrument(self, instrument):
        self._called("RemoveInstrument", instrument)

    def CreateTicksRequest(self):
        return Request(self.request_log)

    def RequestTicks(self, request):
        self._called("RequestTicks", request)

    def RemoveTicks(self, ticks):
        self._called("RemoveTicks", ticks)

    def CreateTimedBarsRequest(self):
        return Request(self.request_log)

    def RequestTimedBars(self, request):
        self._called("RequestTimedBars", request)

    def RemoveTimedBars(self, timed_bars):
        self._called("RemoveTimedBars", timed_bars)


EPZ26 = Futures("EPZ26", "E-mini S&P 500 Dec 26", exchange=Exchange.SMART)
NQZ26 = Futures("NQZ26", "E-mini Nasdaq Dec 26", exchange=Exchange.SMART)


class MarketGateway:
    """The framework gateway as the market-data paths use it: symbol look-up, the record
    maps keyed in advance, and the records it is handed, in order."""

    def __init__(self, cel, securities=(EPZ26, NQZ26)):
        self.comBridge = Bridge(cel)
        self.by_symbol = {s.code: s for s in securities}
        self.cqg_quotes = {s: None for s in securities}
        self.cqg_orderbooks = {s: None for s in securities}
        self.quotes, self.orderbooks = [], []

    def get_cv_security_from_cqg_symbol(self, cqg_symbol):
        return self.by_symbol.get(cqg_symbol)

    def process_quote(self, quote):
        self.quotes.append(quote)

    def process_orderbook(self, orderbook):
        self.orderbooks.append(orderbook)
