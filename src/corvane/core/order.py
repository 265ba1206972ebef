"""The order record the framework sends to a gateway."""
from dataclasses import dataclass
from typing import Any, Optional

from corvane.core.constants import Direction, OrderType


@dataclass
class Order:
    security: Any
    order_type: OrderType
    direction: Direction
    quantity: float
    price: float = 0
    stop_price: Optional[float] = None
