"""The position record a gateway reports."""
from dataclasses import dataclass
from datetime import datetime
from typing import Any

from corvane.core.constants import Direction


@dataclass
class PositionData:
    security: Any
    direction: Direction
    holding_price: float
    quantity: float
    update_time: datetime
