"""Types of the CQG gateway link: GATELINK, the sink and request object through which the
framework's CQG gateway talks to CQGCEL. CQG objects and event arguments are COM dispatch
objects (typed Any)."""
import threading
from typing import Any

from corvane.core.balance import AccountBalance
from corvane.core.position import PositionData
from corvane.gateways import BaseGateway
from corvane.gateways.cqg.wrapper.ComBridge import CELSinkBase

TIMEOUT: int
TIMEZONE: Any
INVALID_VALUE: int
lock: threading.Lock

class GATELINK(CELSinkBase):
    eventGatewayIsUp: threading.Event
    eventGatewayIsDown: threading.Event
    eventAccountIsReady: threading.Event
    eventOrderPlaced: threading.Event
    eventQuoteDone: threading.Event
    eventOrderbookDone: threading.Event
    eventBarDone: threading.Event
    subscribe_bars_data: dict[Any, list[Any]]
    account_balance: AccountBalance
    positions: list[PositionData]
    order_id: str | None
    comBridge: Any
    gateway: Any
    GWAccountID: int
    def __init__(self) -> None: ...
    def Init(self, gateway: BaseGateway) -> None: ...
    def Logon(self, user_name: str, password: str) -> None: ...
    def Logoff(self) -> None: ...
    def get_account_from_gwaccountid(self, GWAccountID: int) -> Any: ...
    def subscribe_account_and_positions(self, GWAccountID: int) -> None: ...
    def unsubscribe_account_and_positions(self, GWAccountID: int) -> None: ...
    def update_account_balance(self) -> None: ...
    def update_positions(self) -> None: ...
    def OnDataError(self, cqgError: Any, errorDescription: Any) -> None: ...
    def OnAccountChanged(self, change: Any, cqgAccount: Any, cqgPosition: Any) -> None: ...
    def OnGWConnectionStatusChanged(self, connectionStatus: Any) -> None: ...
    def OnDataConnectionStatusChanged(self, newStatus: Any) -> None: ...
