"""The framework's enumerations."""
from enum import Enum


class Exchange(Enum):
    """Exchanges and trading venues."""

    SEHK = "SEHK"          # Hong Kong Stock Exchange
    HKFE = "HKFE"          # Hong Kong Futures Exchange
    SSE = "SSE"            # Shanghai Stock Exchange
    SZSE = "SZSE"          # Shenzhen Stock Exchange
    NYSE = "NYSE"
    NASDAQ = "NASDAQ"
    ARCA = "ARCA"
    AMEX = "AMEX"
    CME = "CME"            # Chicago Mercantile Exchange
    CBOT = "CBOT"          # Chicago Board of Trade
    NYMEX = "NYMEX"
    COMEX = "COMEX"
    ICE = "ICE"
    EUREX = "EUREX"
    SGX = "SGX"            # Singapore Exchange
    IDEALPRO = "IDEALPRO"  # interbank foreign-exchange venue
    SMART = "SMART"        # smart order routing


class Direction(Enum):
    """Side of an order, a deal or a position."""

    LONG = "LONG"
    SHORT = "SHORT"
    NET = "NET"


class Offset(Enum):
    """Whether a trade opens or closes a position."""

    NONE = ""
    OPEN = "OPEN"
    CLOSE = "CLOSE"


class OrderType(Enum):
    """How an order is priced."""

    LIMIT = "LIMIT"
    MARKET = "MARKET"
    STOP = "STOP"


class OrderStatus(Enum):
    """Life-cycle state of an order."""

    UNKNOWN = "UNKNOWN"
    SUBMITTED = "SUBMITTED"
    FILLED = "FILLED"
    CANCELLED = "CANCELLED"
    FAILED = "FAILED"
