"""Stand-ins for CQGCEL's orders and fills as pywin32 presents them: a properties collection
reached through its default member, time stamps aware and labelled UTC with milliseconds."""
from datetime import timezone

from pywintypes import TimeType
from win32com.client import constants

from gatelink_fakes import CEL, Wrapper


def cqg_time(second=7, ms=250):
    """A COM date as pywin32 gives it: aware, labelled UTC, milliseconds kept."""
    return TimeType(2026, 3, 4, 15, 30, second, ms * 1000, tzinfo=timezone.utc)


class Property(Wrapper):
    def __init__(self, value):
        self.Value = value


class Properties(Wrapper):
    """Only callable (the default member), not subscriptable, as a dynamic wrapper."""

    def __init__(self, values):
        self._values = values

    def __call__(self, property_id):
        return Property(self._values[property_id])


class Order(Wrapper):
    def __init__(self, cel, args, guid):
        self._cel, self.args, self.GUID = cel, args, guid
        self.Manual = None
        self.status = constants.osInTransit
        self.time, self.avg_price, self.filled = cqg_time(), 0.0, 0

    @property
    def Properties(self):
        return Properties({constants.opGWStatus: self.status, constants.opGUID: self.GUID,
                           constants.opEventServerTimestamp: self.time,
                           constants.opAverageFillPrice: self.avg_price,
                           constants.opFilledQuantity: self.filled})

    def Place(self):
        self._cel.calls.append(("Place", self.GUID, self.Manual))
        self._cel.on_place(self)

    def Cancel(self):
        self._cel.calls.append(("Cancel", self.GUID))


class Fill(Wrapper):
    def __init__(self, order, fill_id, price, quantity, status=None, time=None):
        self.Order, self.Id, self.Price, self.Quantity = order, fill_id, price, quantity
        self.Status = constants.fsNormal if status is None else status
        self.Timestamp = time or cqg_time(second=9, ms=999)


class Orders(Wrapper):
    def __init__(self, items):
        self._items = items

    def ItemByGuid(self, guid):
        return next(o for o in self._items if o.GUID == guid)


class OrderCEL(CEL):
    """CQGCEL that creates orders. `answer` says how Place() is confirmed: "thread" (the
    added order reported from another thread), "nested" (reported inside Place() itself),
    or "never"."""

    def __init__(self):
        super().__init__()
        self.orders, self.answer = [], "thread"

    def CreateOrder(self, *args):
        self.calls.append(("CreateOrder",) + args)
        order = Order(self, args, f"GUID-{len(self.orders) + 1}")
        self.orders.append(order)
        return order

    @property
    def Orders(self):
        return Orders(self.orders)

    def on_place(self, order):
        if self.answer == "thread":
            self._event("OnOrderChanged", constants.ctAdded, order, None, None, None)
        elif self.answer == "nested":
            self.sink.OnOrderChanged(constants.ctAdded, order, None, None, None)
