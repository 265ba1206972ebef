"""The chat's commands to a trading engine: reading the bot's request flags, carrying each
request out on the engine, and the text of every answer.

The texts and the order instruction's reading are plain functions of what they show;
``ChatCommands`` ties them to one engine and its bot.
"""
from corvane.core.constants import Direction, Offset, OrderType


class OrderInstructionError(ValueError):
    """A chat order instruction that cannot be carried out as written."""


class ChatCommands:
    def __init__(self, engine):
        self.engine = engine

    def answer_requests(self):
        """Answers every raised request flag. Each flag is cleared as soon as its parameters
        are read, so a command that arrives while the engine works is kept for the next
        round rather than cleared unseen."""
        engine, bot = self.engine, self.engine.bot
        if bot.corvane_status == "Terminated":
            self.answer("Stopping: open orders stay with the broker; the session ends.")
            engine.stop("stopped from the chat")
            return
        if bot.get_balance:
            bot.get_balance = False
            engine.refresh_account()
            self.answer(balance_text(engine.balance))
        if bot.get_positions:
            bot.get_positions = False
            engine.refresh_account()
            self.answer(positions_text(engine.positions))
        if bot.get_orders:
            active, count = bool(bot.active_orders), bot.num_orders_displayed
            bot.get_orders = False
            orders = engine.active_orders() if active else list(engine.orders.values())
            self.answer(orders_text(orders, active, count))
        if bot.get_deals:
            count = bot.num_deals_displayed
            bot.get_deals = False
            self.answer(deals_text(list(engine.deals.values()), count))
        if bot.cancel_order:
            order_id, gateway_name = bot.cancel_order_id, bot.gateway_name
            bot.cancel_order = False
            self.answer(self.cancel_one(order_id, gateway_name))
        if bot.cancel_orders:
            bot.cancel_orders = False
            self.answer(self.cancel_all())
        if bot.send_order:
            instruction = bot.order_string
            bot.send_order = False
            self.answer(self.send_instruction(instruction))
        if bot.close_positions:
            gateway_name = bot.close_positions_gateway_name
            bot.close_positions = False
            self.answer(self.close_positions(gateway_name))

    def answer(self, text):
        engine = self.engine
        engine.answers.append(text)
        try:
            engine.bot.send_message(text)
        except Exception as error:  # a chat that cannot be reached must not end trading
            engine.log(f"answer not sent: {type(error).__name__}: {error}")

    def gateway_matches(self, gateway_name):
        return gateway_name is None or (
            gateway_name.upper() == self.engine.gateway.gateway_name.upper())

    def cancel_one(self, order_id, gateway_name):
        if not self.gateway_matches(gateway_name):
            return f"Cancel refused: no gateway named {gateway_name}"
        order = self.engine.orders.get(order_id)
        if order is None:
            return f"Cancel refused: no order {order_id}"
        if not order.active:
            return f"Cancel refused: order {order_id} is already {order.status.value}"
        self.engine.cancel(order)
        return f"Cancel sent for {order.describe()}"

    def cancel_all(self):
        orders = self.engine.active_orders()
        for order in orders:
            self.engine.cancel(order)
        return f"Cancel sent for {len(orders)} active order(s)"

    def send_instruction(self, instruction):
        engine = self.engine
        try:
            order = engine.send_order(origin="chat", **parse_order_instruction(
                instruction, engine.gateway.securities, self.gateway_matches))
        except Exception as error:
            return f"Order refused: {error}"
        return f"Order placed: {order.describe()}"

    def close_positions(self, gateway_name):
        if not self.gateway_matches(gateway_name):
            return f"Close refused: no gateway named {gateway_name}"
        engine = self.engine
        engine.refresh_account()
        lines = []
        for p in engine.positions:
            opposite = Direction.SHORT if p.direction == Direction.LONG else Direction.LONG
            try:
                order = engine.send_order(p.security, opposite, int(p.quantity),
                                          offset=Offset.CLOSE, origin="chat")
                lines.append(f"closing {p.security.code}: {order.describe()}")
            except Exception as error:
                lines.append(f"{p.security.code} not closed: {error}")
        return "Closing positions: " + ("none open" if not lines else "\n" + "\n".join(lines))


# -- the answers' texts ---------------------------------------------------------------------

def balance_text(b):
    return (f"Balance: cash {b.cash:.2f}, available {b.available_cash:.2f}, "
            f"realized P&L {b.realized_pnl:.2f}, unrealized P&L {b.unrealized_pnl:.2f}")


def positions_text(positions):
    if not positions:
        return "Positions: none"
    return "Positions:\n" + "\n".join(
        f"{p.security.code} {p.direction.value} {p.quantity:g} @{p.holding_price:.10g}"
        for p in positions)


def orders_text(orders, active_only, count):
    """The latest `count` of `orders` (none unless `count` is a positive whole number)."""
    shown = _latest(orders, count)
    title = "Active orders" if active_only else "Orders"
    if not shown:
        return f"{title}: none"
    return f"{title} (last {len(shown)} of {len(orders)}):\n" + "\n".join(
        o.describe() for o in shown)


def deals_text(deals, count):
    shown = _latest(deals, count)
    if not shown:
        return "Deals: none"
    return f"Deals (last {len(shown)} of {len(deals)}):\n" + "\n".join(
        d.describe() for d in shown)


def _latest(items, count):
    return items[-count:] if isinstance(count, int) and count > 0 else []


# -- the order instruction -------------------------------------------------------------------

_SIDES = {"l": Direction.LONG, "s": Direction.SHORT}
_OFFSETS = {"o": Offset.OPEN, "c": Offset.CLOSE}
_KINDS = {"m": OrderType.MARKET, "l": OrderType.LIMIT, "s": OrderType.STOP}


def parse_order_instruction(instruction, securities, gateway_matches):
    """The eight fields: code, quantity, l/s, o/c, m/l/s, gateway, price, stop price. Returns
    the keyword arguments of the engine's send_order; `securities` maps codes to securities
    and `gateway_matches(name)` says whether a gateway name is the engine's."""
    fields = instruction.split(",")
    if len(fields) != 8:
        raise OrderInstructionError("an order instruction has eight fields")
    code, quantity, side, offset, kind, gateway_name, price, stop = (f.strip() for f in fields)
    security = securities.get(code)
    if security is None:
        raise OrderInstructionError(f"unknown security {code}")
    if not gateway_matches(gateway_name):
        raise OrderInstructionError(f"no gateway named {gateway_name}")
    try:
        quantity = int(quantity)
    except ValueError:
        raise OrderInstructionError(f"quantity {quantity} is not a whole number") from None
    if quantity <= 0:
        raise OrderInstructionError("the quantity must be above zero")
    if side not in _SIDES or offset not in _OFFSETS or kind not in _KINDS:
        raise OrderInstructionError("direction is l/s, offset o/c, order type m/l/s")
    order_type = _KINDS[kind]
    limit = _price_field(price, "price", needed=order_type != OrderType.MARKET)
    stop_price = _price_field(stop, "stop price", needed=order_type == OrderType.STOP)
    return {"security": security, "direction": _SIDES[side], "quantity": quantity,
            "order_type": order_type, "price": limit or 0.0, "stop_price": stop_price,
            "offset": _OFFSETS[offset]}


def _price_field(text, name, needed):
    if text in ("", "None"):
        if needed:
            raise OrderInstructionError(f"this order type needs a {name}")
        return None
    try:
        value = float(text)
    except ValueError:
        raise OrderInstructionError(f"{name} {text} is not a number") from None
    if not value > 0 or value == float("inf"):
        raise OrderInstructionError(f"the {name} must be a positive number")
    return value
