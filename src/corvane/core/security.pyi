"""Types of the instrument model: frozen records that compare and hash as values."""
from dataclasses import dataclass

from corvane.core.constants import Exchange

@dataclass(frozen=True)
class Security:
    """Base class for different asset types"""

    code: str
    security_name: str
    lot_size: int | None = None
    exchange: Exchange | None = None
    expiry_date: str | None = None
    quote_currency: str = ""
    def __eq__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...

@dataclass(frozen=True)
class Stock(Security):
    """Cash equity"""

    code: str
    security_name: str
    lot_size: int | None = 1
    exchange: Exchange | None = ...
    def __post_init__(self) -> None: ...

@dataclass(frozen=True)
class Currency(Security):
    """Foreign exchange"""

    code: str
    security_name: str
    lot_size: int | None = 1000
    exchange: Exchange | None = ...
    def __post_init__(self) -> None: ...

@dataclass(frozen=True)
class Commodity(Security):
    """Commodity"""

    code: str
    security_name: str
    lot_size: int | None = 1000
    exchange: Exchange | None = ...
    def __post_init__(self) -> None: ...

@dataclass(frozen=True)
class Futures(Security):
    """Futures"""

    code: str
    security_name: str
    lot_size: int | None = 1000
    exchange: Exchange | None = ...
    def __post_init__(self) -> None: ...
