"""Market-data records: quotes, top-of-book order books and bars.

``Quote`` and ``OrderBook`` are frozen and changed by copying with ``dataclasses.replace``;
``Bar`` fields are assignable (bars are repaired in place). Unfilled prices and volumes
are 0.
"""
from dataclasses import dataclass
from datetime import datetime
from typing import Any, Optional

from corvane.core.constants import Exchange


@dataclass(frozen=True)
class Quote:
    security: Any
    exchange: Optional[Exchange]
    datetime: datetime
    last_price: float = 0
    open_price: float = 0
    high_price: float = 0
    low_price: float = 0
    prev_close_price: float = 0
    volume: float = 0
    turnover: float = 0
    bid_price: float = 0
    bid_volume: float = 0
    ask_price: float = 0
    ask_volume: float = 0
    settlement_price: float = 0


@dataclass(frozen=True)
class OrderBook:
    security: Any
    exchange: Optional[Exchange]
    datetime: datetime
    bid_price_1: float = 0
    bid_volume_1: float = 0
    ask_price_1: float = 0
    ask_volume_1: float = 0
    last_price: float = 0
    last_volume: float = 0


@dataclass
class Bar:
    datetime: datetime
    security: Any
    open: float = 0
    high: float = 0
    low: float = 0
    close: float = 0
    volume: float = 0
