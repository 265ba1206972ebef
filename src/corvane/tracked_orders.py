"""The engine's own orders and their fills, as it learns of them."""
from dataclasses import dataclass
from datetime import datetime
from typing import Any

from corvane.core.constants import Direction, Offset, OrderStatus, OrderType

ACTIVE_STATUSES = (OrderStatus.SUBMITTED, OrderStatus.UNKNOWN)
FINAL_STATUSES = (OrderStatus.FILLED, OrderStatus.CANCELLED, OrderStatus.FAILED)


@dataclass
class TrackedOrder:
    """An order this engine placed, as it learns of it."""

    order_id: str                 # CQG's GUID
    row_id: int                   # its trading_order row
    security: Any
    direction: Direction
    offset: Offset
    order_type: OrderType
    price: float
    quantity: float
    create_time: datetime
    update_time: datetime
    origin: str                   # "strategy" or "chat"
    status: OrderStatus = OrderStatus.SUBMITTED
    filled_quantity: float = 0
    filled_avg_price: float = 0
    bars_seen: int = 0            # bars closed since it was placed
    cancel_sent: bool = False

    @property
    def active(self):
        return self.status in ACTIVE_STATUSES

    def describe(self):
        price = "" if self.order_type == OrderType.MARKET else f" @{self.price:.10g}"
        return (f"{self.order_id} {self.security.code} {self.direction.value} "
                f"{self.quantity:g} {self.order_type.value}{price} {self.status.value} "
                f"filled {self.filled_quantity:g}"
                + (f" @{self.filled_avg_price:.10g}" if self.filled_quantity else ""))


@dataclass
class Deal:
    deal_id: str
    order: TrackedOrder
    price: float
    quantity: float
    time: datetime

    @property
    def signed_quantity(self):
        return self.quantity if self.order.direction == Direction.LONG else -self.quantity

    def describe(self):
        return (f"{self.deal_id} {self.order.security.code} {self.order.direction.value} "
                f"{self.quantity:g} @{self.price:.10g} ({self.time:%H:%M:%S})")
