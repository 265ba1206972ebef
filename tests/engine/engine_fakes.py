"""Stand-ins for the engine's partners: the CQG gateway over a GATELINK that answers at
once, and a bot whose request properties are plain attributes."""
from datetime import datetime

from corvane.core.balance import AccountBalance
from corvane.core.constants import Direction, OrderStatus
from corvane.core.data import Bar
from corvane.core.position import PositionData
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway

EP = Futures(code="EPZ26", security_name="E-mini S&P 500 Dec 26")
CL = Futures(code="CLEF27", security_name="Crude Oil Jan 27")


class FakeGatelink:
    def __init__(self):
        self.account_balance = AccountBalance(cash=100000.0, available_cash=100000.0)
        self.positions = []
        self.bars = {}
        self.calls = []

    def __getattr__(self, name):  # requests the engine makes only for their effect
        if name[0].isupper() or name.startswith(("subscribe", "unsubscribe")):
            return lambda *args: self.calls.append((name, args))
        raise AttributeError(name)

    def update_account_balance(self):
        self.calls.append(("update_account_balance", ()))

    def update_positions(self):
        self.calls.append(("update_positions", ()))

    def get_subscribe_bars_data(self, security):
        return self.bars.get(security)


class FakeGateway(CqgGateway):
    """The gateway's own requests to GATELINK, without the bridge; orders are taken at once."""

    def __init__(self, securities=(EP, CL)):
        super().__init__(securities)
        self.gatelink = FakeGatelink()
        self.comBridge = object()  # stands for a running bridge: the fake link answers at once
        self.placed, self.cancelled = [], []
        self.closed = False
        self.refuse_next = None

    def connect(self):
        return self

    def close(self):
        self.closed = True

    def place_order(self, order):
        if self.refuse_next is not None:
            error, self.refuse_next = self.refuse_next, None
            raise error
        self.placed.append(order)
        return f"GUID-{len(self.placed)}"

    def cancel_order(self, order_id):
        self.cancelled.append(order_id)

    # what the bridge's thread would push
    def report(self, order_id, status, filled=0, price=0.0, when=datetime(2026, 1, 2, 3, 4, 5)):
        self.on_record("order", {"order_id": order_id, "updated_time": when,
                                 "filled_avg_price": price, "filled_quantity": filled,
                                 "status": status})

    def fill(self, deal_id, order_id, quantity, price, when=datetime(2026, 1, 2, 3, 4, 5)):
        self.on_record("deal", {"deal_id": deal_id, "order_id": order_id, "updated_time": when,
                                "filled_avg_price": price, "filled_quantity": quantity})


class FakeBot:
    def __init__(self):
        self.corvane_status = "Running"
        for flag in ("get_balance", "get_positions", "get_orders", "active_orders",
                     "get_deals", "cancel_order", "cancel_orders", "send_order",
                     "close_positions"):
            setattr(self, flag, False)
        self.num_orders_displayed = self.num_deals_displayed = 1
        self.cancel_order_id = self.gateway_name = self.close_positions_gateway_name = None
        self.order_string = ""
        self.sent = []
        self.closed = False
        self.refuse_sending = False

    def send_message(self, text):
        if self.refuse_sending:
            raise ConnectionError("chat unreachable")
        self.sent.append(text)

    def close(self):
        self.closed = True


def bars(security, closes, start=datetime(2026, 1, 2, 3, 0)):
    from datetime import timedelta
    return [Bar(datetime=start + timedelta(minutes=i), security=security, open=c, high=c + 1,
                low=c - 1, close=c, volume=10) for i, c in enumerate(closes)]


def long_position(security, quantity, price):
    return PositionData(security=security, direction=Direction.LONG, holding_price=price,
                        quantity=quantity, update_time=datetime(2026, 1, 2))


FILLED, CANCELLED, SUBMITTED = OrderStatus.FILLED, OrderStatus.CANCELLED, OrderStatus.SUBMITTED
