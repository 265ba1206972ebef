"""Stand-ins for CQGCEL's orders and fills as pywin32 presents them: a properties collection
reached through its default member, time stamps aware and labelled UTC with milliseconds."""
from datetime import timezone

from pywintypes import TimeType
from win32com.client import constants

from gatelink_fakes import CEL, Gateway, Wrapper


def cqg_time(second):
    return TimeType(2026, 3, 4, 15, 30, second, 250000, tzinfo=timezone.utc)


class Property(Wrapper):
    def __init__(self, value):
        self.Value = value


class Order(Wrapper):
    def __init__(self, cel, guid):
        self._cel, self.GUID, self.Manual = cel, guid, None
        self.status, self.avg_price, self.filled = constants.osInTransit, 0.0, 0

    def Properties(self, property_id):  # callable only: the default member
        return Property({constants.opGWStatus: self.status, constants.opGUID: self.GUID,
                         constants.opEventServerTimestamp: cqg_time(7),
                         constants.opAverageFillPrice: self.avg_price,
                         constants.opFilledQuantity: self.filled}[property_id])

    def Place(self):
        self._cel.calls.append(("Place", self.GUID, self.Manual))
        self._cel.on_place(self)

    def Cancel(self):
        self._cel.calls.append(("Cancel", self.GUID))


class Fill(Wrapper):
    def __init__(self, order, fill_id, price=1.5, quantity=1, status=None):
        self.Order, self.Id, self.Price, self.Quantity = order, fill_id, price, quantity
        self.Status = constants.fsNormal if status is None else status
        self.Timestamp = cqg_time(9)


class OrderCEL(CEL):
    """CQGCEL that creates orders. `answer` says how Place() is confirmed: "thread" (the
    added order reported from another thread), "nested" (reported inside Place() itself),
    or "never"."""

    def __init__(self):
        super().__init__()
        self.orders, self.answer = [], "thread"

    def CreateOrder(self, *args):
        self.calls.append(("CreateOrder",) + args)
        self.orders.append(Order(self, f"GUID-{len(self.orders) + 1}"))
        return self.orders[-1]

    @property
    def Orders(self):
        return type("Orders", (Wrapper,), {"ItemByGuid": lambda _, guid: next(
            o for o in self.orders if o.GUID == guid)})()

    def on_place(self, order):
        if self.answer == "thread":
            self._event("OnOrderChanged", constants.ctAdded, order, None, None, None)
        elif self.answer == "nested":
            self.sink.OnOrderChanged(constants.ctAdded, order, None, None, None)


class OrderGateway(Gateway):
    """Records what GATELINK pushes, in order; the first `failing_deals` deals raise."""

    def __init__(self, cel):
        super().__init__(cel)
        self.received, self.failing_deals = [], 0

    def get_cqg_symbol_from_cv_security(self, security):
        return security

    def process_order(self, update):
        self.received.append(("order", update))

    def process_deal(self, deal):
        if self.failing_deals:
            self.failing_deals -= 1
            raise RuntimeError("store unavailable")
        self.received.append(("deal", deal))
