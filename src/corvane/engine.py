"""A small engine: one trading session on the CQG gateway.

It logs on, follows one account, subscribes quotes, order books and one-minute bars of
each security, runs a strategy on the bars, keeps the store up to date and answers the
bot's requests. Everything runs on the thread that calls ``run()``; the bridge's thread
only hands order updates and deals over through a queue (a CQGCEL call made from inside
an event handler would wait for the very pump that runs the handler).

    engine = Engine(gateway, account_id=1001, credentials=("trader", "secret"),
                    strategy=MovingAverageCross(), db=DB(), bot=bot)
    with engine:             # connects and subscribes; on leaving, everything is closed
        engine.run(duration=30)
"""
import contextlib
import queue
import threading
import time
from collections import deque
from copy import copy
from dataclasses import dataclass
from datetime import datetime
from typing import Any, Callable, Optional

from corvane.core.constants import Direction, Offset, OrderStatus, OrderType
from corvane.core.order import Order

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


class OrderInstructionError(ValueError):
    """A chat order instruction that cannot be carried out as written."""


class Engine:
    def __init__(self, gateway, account_id: int, credentials=("trader", "secret"),
                 strategy=None, db=None, bot=None, lookback: int = 20,
                 poll_interval: float = 0.05, refresh_interval: float = 1.0,
                 stale_bars: int = 3, log: Callable[[str], None] = print,
                 strategy_account: str = "demo", strategy_version: str = "1.0",
                 history: int = 1000):
        self.gateway = gateway
        self.account_id = account_id
        self.credentials = credentials
        self.strategy = strategy
        self.db = db
        self.bot = bot
        self.lookback = lookback
        self.poll_interval = poll_interval
        self.refresh_interval = refresh_interval
        self.stale_bars = stale_bars
        self.log = log
        self.strategy_account = strategy_account
        self.strategy_version = strategy_version
        # A long session keeps every active order and, of everything else, the latest
        # `history` entries: the store holds the whole session.
        self.history = history

        self.orders: dict[str, TrackedOrder] = {}       # by GUID, in placing order
        self.deals: dict[str, Deal] = {}                # by deal id, in arrival order
        self.unknown_updates: deque = deque(maxlen=history)  # updates of orders not placed here
        self.failed_placements: deque = deque(maxlen=history)
        self.balance = None
        self.positions = []
        self.equity: deque = deque(maxlen=history)      # (seconds into the session, equity)
        self.bars: dict[Any, list] = {}                 # completed bars seen, oldest first
        self.rows_written = {"balance": 0, "position": 0, "trading_order": 0, "trading_deal": 0}
        self.balance_row_id = 0
        self.answers: deque = deque(maxlen=history)     # what the engine sent to the chat
        self._net: dict[Any, float] = {}                # every fill's signed quantity, summed
        self.stop_reason: Optional[str] = None

        self.quote_count = 0
        self.last_prices: dict[Any, float] = {}
        self._inbox: queue.Queue = queue.Queue()
        self._last_bar_time: dict[Any, datetime] = {}
        self._stop = threading.Event()
        self._started_at = None
        self._last_refresh = 0.0
        self._connected = False
        self._subscribed = False
        self._logged_on = False
        self._account_followed = False
        self._closed = False

    # -- what the bridge's thread hands over --------------------------------------------

    def on_record(self, kind, record):
        """The gateway's callback, run on the bridge's thread: it only notes and queues."""
        if kind == "quote":
            self.quote_count += 1
            price = record.last_price or (record.bid_price + record.ask_price) / 2
            if price:
                self.last_prices[record.security] = price
        elif kind in ("order", "deal"):
            self._inbox.put((kind, record))

    # -- life cycle -----------------------------------------------------------------------

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc_info):
        self.close()
        return False

    @property
    def gatelink(self):
        return self.gateway.gatelink

    def start(self):
        """Connects, logs on, follows the account and subscribes every security's data.
        A failure on the way closes what was opened, and goes on."""
        self._started_at = time.monotonic()
        try:
            self.gateway.on_record = self.on_record
            self.gateway.connect()
            self._connected = True
            self.gatelink.Logon(*self.credentials)
            self._logged_on = True
            self.gatelink.subscribe_account_and_positions(self.account_id)
            self._account_followed = True
            for security in self.gateway.securities.values():
                symbol = self.gateway.get_cqg_symbol_from_cv_security(security)
                self.gatelink.subscribe_quote(symbol)
                self.gatelink.subscribe_orderbook(symbol)
                self.gatelink.subscribe_bar(symbol, self.lookback, "1Min")
                bars = self.gatelink.get_subscribe_bars_data(security) or []
                self.bars[security] = [copy(bar) for bar in bars]
                if bars:
                    self._last_bar_time[security] = bars[-1].datetime
            self._subscribed = True
            self.refresh_account(record=True)
        except BaseException:
            # The start-up failure is the one to report; close() has logged its own.
            with contextlib.suppress(Exception):
                self.close()
            raise

    def stop(self, reason="stopped"):
        """Ends run() at its next step; safe from any thread."""
        if self.stop_reason is None:
            self.stop_reason = reason
        self._stop.set()

    def run(self, duration: Optional[float] = None):
        """Runs steps until /stop, stop(), the end of `duration` seconds or Ctrl-C (which
        goes on to the caller once the engine is stopped; close() still has to run)."""
        deadline = None if duration is None else time.monotonic() + duration
        try:
            while not self._stop.is_set():
                self.step()
                if deadline is not None and time.monotonic() >= deadline:
                    self.stop("end of the run")
                    break
                self._stop.wait(self.poll_interval)
        except KeyboardInterrupt:
            self.stop("interrupted")
            raise
        finally:
            self._drain()

    def close(self):
        """Leaves CQG and closes the bridge, the store and the bot; each step is tried even
        when an earlier one fails, and the first failure goes on afterwards. Once closed,
        closing again does nothing."""
        if self._closed:
            return
        self._closed = True
        steps = []
        if self._connected:
            if self._subscribed:
                steps.append(self._unsubscribe_market_data)
                steps.append(self._final_records)
            if self._logged_on:
                if self._account_followed:
                    steps.append(lambda: self.gatelink.unsubscribe_account_and_positions(
                        self.account_id))
                steps.append(self.gatelink.Logoff)
            steps.append(self.gateway.close)
        if self.db is not None:
            steps.append(self.db.close)
        if self.bot is not None:
            steps.append(self.bot.close)
        self._connected = self._subscribed = self._logged_on = self._account_followed = False
        first_error = None
        for close_step in steps:
            try:
                close_step()
            except Exception as error:  # the remaining steps must still run
                self.log(f"closing: {type(error).__name__}: {error}")
                first_error = first_error or error
        if first_error is not None:
            raise first_error

    def _unsubscribe_market_data(self):
        # The data stops first: a feed still flowing would keep the bridge's pump busy while
        # the session closes.
        for security in self.gateway.securities.values():
            symbol = self.gateway.get_cqg_symbol_from_cv_security(security)
            self.gatelink.unsubscribe_quote(symbol)
            self.gatelink.unsubscribe_orderbook(symbol)
            self.gatelink.unsubscribe_bar(symbol)

    def _final_records(self):
        self._drain()
        self.refresh_account(record=True)

    # -- one step -----------------------------------------------------------------------

    def step(self):
        fills = self._drain()
        due = time.monotonic() - self._last_refresh >= self.refresh_interval
        if fills or due:
            self.refresh_account(record=bool(fills))
        self._run_strategy()
        if self.bot is not None:
            self.answer_requests()

    def _drain(self):
        """Applies the queued order updates and deals; returns how many deals were new."""
        fills = 0
        while True:
            try:
                kind, record = self._inbox.get_nowait()
            except queue.Empty:
                return fills
            if kind == "order":
                self._apply_order_update(record)
            else:
                fills += self._apply_deal(record)

    def _apply_order_update(self, update):
        order = self.orders.get(update["order_id"])
        if order is None:
            self.unknown_updates.append(update)
            return
        if order.status in FINAL_STATUSES and update["status"] not in FINAL_STATUSES:
            return  # a late report of an earlier state never reopens an order
        was_active = order.active
        order.status = update["status"]
        order.update_time = update["updated_time"]
        order.filled_quantity = update["filled_quantity"]
        order.filled_avg_price = update["filled_avg_price"]
        if self.db is not None:
            self.db.update_records(
                "trading_order",
                {"status": order.status.value, "update_time": order.update_time,
                 "filled_quantity": int(order.filled_quantity),
                 "filled_avg_price": float(order.filled_avg_price)},
                id=order.row_id)
        if was_active and not order.active:
            self.log(f"order {order.status.value.lower()}: {order.describe()}")
            self._forget_oldest_finished_orders()

    def _forget_oldest_finished_orders(self):
        finished = [guid for guid, order in self.orders.items() if not order.active]
        for guid in finished[:len(finished) - self.history]:
            del self.orders[guid]

    def _apply_deal(self, record):
        if record["deal_id"] in self.deals:
            return 0  # the same fill reported twice is one fill
        order = self.orders.get(record["order_id"])
        if order is None:
            self.unknown_updates.append(record)
            return 0
        deal = Deal(record["deal_id"], order, record["filled_avg_price"],
                    record["filled_quantity"], record["updated_time"])
        self.deals[deal.deal_id] = deal
        self._net[order.security] = self._net.get(order.security, 0) + deal.signed_quantity
        if len(self.deals) > self.history:
            # The oldest deal id goes: a repeated report comes soon after the first.
            del self.deals[next(iter(self.deals))]
        if self.db is not None:
            self.db.insert_records(
                "trading_deal", broker_deal_id=deal.deal_id, broker_order_id=order.order_id,
                order_id=order.row_id, balance_id=self.balance_row_id,
                security_name=order.security.security_name, security_code=order.security.code,
                direction=order.direction.value, offset=order.offset.value,
                order_type=order.order_type.value, update_time=deal.time,
                filled_avg_price=float(deal.price), filled_quantity=int(deal.quantity))
            self.rows_written["trading_deal"] += 1
        self.log(f"fill: {deal.describe()}")
        return 1

    # -- account --------------------------------------------------------------------------

    def refresh_account(self, record=False):
        """Reads the balance and positions afresh; with `record`, stores them as a new
        balance row with its position rows."""
        self._last_refresh = time.monotonic()
        self.gatelink.update_account_balance()
        self.gatelink.update_positions()
        self.balance = self.gatelink.account_balance
        self.positions = list(self.gatelink.positions)
        self.equity.append((self.elapsed(), self.equity_now()))
        if record and self.db is not None:
            self._record_balance()

    def equity_now(self):
        """The account's net liquidating value: cash (realized profit included) plus the
        open trades' profit."""
        return float(self.balance.net_cash_power or 0)

    def elapsed(self):
        return 0.0 if self._started_at is None else time.monotonic() - self._started_at

    def _record_balance(self):
        b, now = self.balance, datetime.now().replace(microsecond=0)
        values = {
            "broker_name": self.gateway.gateway_name, "broker_environment": "SIMULATE",
            "broker_account_id": int(self.account_id), "broker_account": str(self.account_id),
            "strategy_account_id": 1, "strategy_account": self.strategy_account,
            "strategy_version": self.strategy_version, "strategy_status": "RUNNING",
            "cash": b.cash, "available_cash": b.available_cash,
            "net_cash_power": b.net_cash_power, "maintenance_margin": b.maintenance_margin,
            "unrealized_pnl": b.unrealized_pnl, "realized_pnl": b.realized_pnl,
            "update_time": now,
        }
        # The store refuses None: a value CQG left out leaves its column empty.
        self.db.insert_records("balance", **{
            name: float(value) if name in _MONEY else value
            for name, value in values.items() if value is not None})
        self.balance_row_id = self.db.cursor.lastrowid
        self.rows_written["balance"] += 1
        for p in self.positions:
            self.db.insert_records(
                "position", balance_id=self.balance_row_id,
                security_name=p.security.security_name, security_code=p.security.code,
                direction=p.direction.value, holding_price=float(p.holding_price),
                quantity=int(p.quantity), update_time=now)
            self.rows_written["position"] += 1

    def net_position(self, security):
        """The position the engine's own fills add up to (long positive)."""
        return self._net.get(security, 0)

    # -- orders ---------------------------------------------------------------------------

    def send_order(self, security, direction, quantity, order_type=OrderType.MARKET,
                   price=0.0, stop_price=None, offset=None, origin="strategy"):
        """Places an order and stores it; returns the TrackedOrder. Errors go on to the
        caller, after being noted."""
        if offset is None:
            held = self.net_position(security)
            closing = (held > 0 and direction == Direction.SHORT) or (
                held < 0 and direction == Direction.LONG)
            offset = Offset.CLOSE if closing else Offset.OPEN
        order = Order(security, order_type, direction, quantity, price, stop_price)
        try:
            guid = self.gateway.place_order(order)
        except Exception as error:
            self.failed_placements.append(f"{order}: {error}")
            self.log(f"order not placed: {type(error).__name__}: {error}")
            raise
        now = datetime.now().replace(microsecond=0)
        tracked = TrackedOrder(guid, 0, security, direction, offset, order_type,
                               float(price or 0.0), quantity, now, now, origin)
        if self.db is not None:
            self.db.insert_records(
                "trading_order", broker_order_id=guid, balance_id=self.balance_row_id,
                security_name=security.security_name, security_code=security.code,
                price=tracked.price, quantity=int(quantity), direction=direction.value,
                offset=offset.value, order_type=order_type.value, create_time=now,
                update_time=now, filled_avg_price=0.0, filled_quantity=0,
                status=tracked.status.value)
            tracked.row_id = self.db.cursor.lastrowid
            self.rows_written["trading_order"] += 1
        self.orders[guid] = tracked
        self.log(f"order sent: {tracked.describe()}")
        return tracked

    def cancel(self, order):
        self.gateway.cancel_order(order.order_id)
        order.cancel_sent = True

    def active_orders(self):
        return [o for o in self.orders.values() if o.active]

    # -- strategy ---------------------------------------------------------------------------

    def _run_strategy(self):
        for security in self.gateway.securities.values():
            bars = self.gatelink.get_subscribe_bars_data(security)
            last_seen = self._last_bar_time.get(security, datetime.min)
            if not bars or bars[-1].datetime <= last_seen:
                continue
            self._last_bar_time[security] = bars[-1].datetime
            seen = self.bars.setdefault(security, [])
            seen.extend(copy(bar) for bar in bars if bar.datetime > last_seen)
            del seen[:-self.history]
            self._cancel_stale(security)
            if self.strategy is None:
                continue
            for intent in self.strategy.on_bars(security, bars, self.net_position(security)):
                try:
                    self.send_order(security, **intent)
                except Exception:
                    pass  # noted by send_order; the strategy tries again on a later bar

    def _cancel_stale(self, security):
        for order in self.active_orders():
            if order.security != security or order.origin != "strategy":
                continue
            order.bars_seen += 1
            if (order.order_type != OrderType.MARKET and not order.cancel_sent
                    and order.bars_seen >= self.stale_bars):
                self.log(f"cancelling stale order {order.order_id}")
                self.cancel(order)

    # -- the bot's requests -----------------------------------------------------------------

    def answer_requests(self):
        """Answers every raised request flag. Each flag is cleared as soon as its parameters
        are read, so a command that arrives while the engine works is kept for the next
        round rather than cleared unseen."""
        bot = self.bot
        if bot.corvane_status == "Terminated":
            self._answer("Stopping: open orders stay with the broker; the session ends.")
            self.stop("stopped from the chat")
            return
        if bot.get_balance:
            bot.get_balance = False
            self._answer(self._balance_text())
        if bot.get_positions:
            bot.get_positions = False
            self._answer(self._positions_text())
        if bot.get_orders:
            active, count = bot.active_orders, bot.num_orders_displayed
            bot.get_orders = False
            self._answer(self._orders_text(bool(active), count))
        if bot.get_deals:
            count = bot.num_deals_displayed
            bot.get_deals = False
            self._answer(self._deals_text(count))
        if bot.cancel_order:
            order_id, gateway_name = bot.cancel_order_id, bot.gateway_name
            bot.cancel_order = False
            self._answer(self._cancel_one(order_id, gateway_name))
        if bot.cancel_orders:
            bot.cancel_orders = False
            self._answer(self._cancel_all())
        if bot.send_order:
            instruction = bot.order_string
            bot.send_order = False
            self._answer(self._send_instruction(instruction))
        if bot.close_positions:
            gateway_name = bot.close_positions_gateway_name
            bot.close_positions = False
            self._answer(self._close_positions(gateway_name))

    def _answer(self, text):
        self.answers.append(text)
        try:
            self.bot.send_message(text)
        except Exception as error:  # a chat that cannot be reached must not end trading
            self.log(f"answer not sent: {type(error).__name__}: {error}")

    def _balance_text(self):
        self.refresh_account()
        b = self.balance
        return (f"Balance: cash {b.cash:.2f}, available {b.available_cash:.2f}, "
                f"realized P&L {b.realized_pnl:.2f}, unrealized P&L {b.unrealized_pnl:.2f}")

    def _positions_text(self):
        self.refresh_account()
        if not self.positions:
            return "Positions: none"
        return "Positions:\n" + "\n".join(
            f"{p.security.code} {p.direction.value} {p.quantity:g} @{p.holding_price:.10g}"
            for p in self.positions)

    def _orders_text(self, active_only, count):
        orders = self.active_orders() if active_only else list(self.orders.values())
        shown = orders[-count:] if isinstance(count, int) and count > 0 else []
        title = "Active orders" if active_only else "Orders"
        if not shown:
            return f"{title}: none"
        return f"{title} (last {len(shown)} of {len(orders)}):\n" + "\n".join(
            o.describe() for o in shown)

    def _deals_text(self, count):
        deals = list(self.deals.values())
        shown = deals[-count:] if isinstance(count, int) and count > 0 else []
        if not shown:
            return "Deals: none"
        return f"Deals (last {len(shown)} of {len(deals)}):\n" + "\n".join(
            d.describe() for d in shown)

    def _gateway_matches(self, gateway_name):
        return gateway_name is None or gateway_name.upper() == self.gateway.gateway_name.upper()

    def _cancel_one(self, order_id, gateway_name):
        if not self._gateway_matches(gateway_name):
            return f"Cancel refused: no gateway named {gateway_name}"
        order = self.orders.get(order_id)
        if order is None:
            return f"Cancel refused: no order {order_id}"
        if not order.active:
            return f"Cancel refused: order {order_id} is already {order.status.value}"
        self.cancel(order)
        return f"Cancel sent for {order.describe()}"

    def _cancel_all(self):
        orders = self.active_orders()
        for order in orders:
            self.cancel(order)
        return f"Cancel sent for {len(orders)} active order(s)"

    def _send_instruction(self, instruction):
        try:
            order = self.send_order(origin="chat", **self._parse_instruction(instruction))
        except Exception as error:
            return f"Order refused: {error}"
        return f"Order placed: {order.describe()}"

    def _parse_instruction(self, instruction):
        """The eight fields: code, quantity, l/s, o/c, m/l/s, gateway, price, stop price."""
        fields = instruction.split(",")
        if len(fields) != 8:
            raise OrderInstructionError("an order instruction has eight fields")
        code, quantity, side, offset, kind, gateway_name, price, stop = (
            f.strip() for f in fields)
        security = self.gateway.securities.get(code)
        if security is None:
            raise OrderInstructionError(f"unknown security {code}")
        if not self._gateway_matches(gateway_name):
            raise OrderInstructionError(f"no gateway named {gateway_name}")
        try:
            quantity = int(quantity)
        except ValueError:
            raise OrderInstructionError(f"quantity {quantity} is not a whole number") from None
        if quantity <= 0:
            raise OrderInstructionError("the quantity must be above zero")
        sides = {"l": Direction.LONG, "s": Direction.SHORT}
        offsets = {"o": Offset.OPEN, "c": Offset.CLOSE}
        kinds = {"m": OrderType.MARKET, "l": OrderType.LIMIT, "s": OrderType.STOP}
        if side not in sides or offset not in offsets or kind not in kinds:
            raise OrderInstructionError("direction is l/s, offset o/c, order type m/l/s")
        order_type = kinds[kind]
        limit = _price_field(price, "price", needed=order_type != OrderType.MARKET)
        stop_price = _price_field(stop, "stop price", needed=order_type == OrderType.STOP)
        return {"security": security, "direction": sides[side], "quantity": quantity,
                "order_type": order_type, "price": limit or 0.0, "stop_price": stop_price,
                "offset": offsets[offset]}

    def _close_positions(self, gateway_name):
        if not self._gateway_matches(gateway_name):
            return f"Close refused: no gateway named {gateway_name}"
        self.refresh_account()
        lines = []
        for p in self.positions:
            opposite = Direction.SHORT if p.direction == Direction.LONG else Direction.LONG
            try:
                order = self.send_order(p.security, opposite, int(p.quantity),
                                        offset=Offset.CLOSE, origin="chat")
                lines.append(f"closing {p.security.code}: {order.describe()}")
            except Exception as error:
                lines.append(f"{p.security.code} not closed: {error}")
        return "Closing positions: " + ("none open" if not lines else "\n" + "\n".join(lines))


_MONEY = ("cash", "available_cash", "net_cash_power", "maintenance_margin", "unrealized_pnl",
          "realized_pnl")


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


class MovingAverageCross:
    """Long one lot while the fast average of closes is above the slow one, short one lot
    while below. On each cross it goes to the new side at market and leaves a limit order at
    the last bar's far end, which the engine cancels if the market does not reach it."""

    def __init__(self, fast: int = 3, slow: int = 8, quantity: int = 1):
        self.fast, self.slow, self.quantity = fast, slow, quantity

    def on_bars(self, security, bars, position):
        closes = [bar.close for bar in bars]
        if len(closes) < self.slow + 1:
            return []
        before = _mean(closes[-self.fast - 1:-1]) - _mean(closes[-self.slow - 1:-1])
        now = _mean(closes[-self.fast:]) - _mean(closes[-self.slow:])
        if before <= 0 < now:
            direction, target, limit = Direction.LONG, self.quantity, bars[-1].low
        elif before >= 0 > now:
            direction, target, limit = Direction.SHORT, -self.quantity, bars[-1].high
        else:
            return []
        intents = []
        if target != position:
            intents.append({"direction": direction, "quantity": abs(target - position)})
        intents.append({"direction": direction, "quantity": self.quantity,
                        "order_type": OrderType.LIMIT, "price": limit})
        return intents


def _mean(values):
    return sum(values) / len(values)
