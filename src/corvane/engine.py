"""A small engine: one trading session on the CQG gateway.

It logs on, follows one account, subscribes quotes, order books and one-minute bars of
each security, runs a strategy on the bars, keeps the store up to date and answers the
bot's requests. It asks the gateway only what every gateway offers (``BaseGateway``); the
store's rows are written by ``store_rows``, the chat's commands carried out by
``chat_commands``. Everything runs on the thread that calls ``run()``; the bridge's thread
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
from datetime import datetime
from typing import Any, Callable, Optional

from corvane.chat_commands import ChatCommands
from corvane.core.constants import Direction, Offset, OrderType
from corvane.core.order import Order
from corvane.store_rows import StoreRows
from corvane.tracked_orders import FINAL_STATUSES, Deal, TrackedOrder


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
        self.store_rows = StoreRows(db, gateway.gateway_name, account_id, strategy_account,
                                    strategy_version)
        self.answers: deque = deque(maxlen=history)     # what the engine sent to the chat
        self.chat = ChatCommands(self)
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

    def start(self):
        """Connects, logs on, follows the account and subscribes every security's data.
        A failure on the way closes what was opened, and goes on."""
        self._started_at = time.monotonic()
        try:
            self.gateway.on_record = self.on_record
            self.gateway.connect()
            self._connected = True
            self.gateway.logon(*self.credentials)
            self._logged_on = True
            self.gateway.subscribe_account(self.account_id)
            self._account_followed = True
            for security in self.gateway.securities.values():
                self.gateway.subscribe(security, self.lookback, "1Min")
                bars = self.gateway.get_bars(security) or []
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
                    steps.append(lambda: self.gateway.unsubscribe_account(self.account_id))
                steps.append(self.gateway.logoff)
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
            self.gateway.unsubscribe(security)

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
        self.store_rows.order_changed(order)
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
        self.store_rows.deal(deal)
        self.log(f"fill: {deal.describe()}")
        return 1

    # -- account --------------------------------------------------------------------------

    def refresh_account(self, record=False):
        """Reads the balance and positions afresh; with `record`, stores them as a new
        balance row with its position rows."""
        self._last_refresh = time.monotonic()
        balance = self.gateway.get_balance()
        positions = self.gateway.get_positions()
        self.balance, self.positions = balance, positions
        self.equity.append((self.elapsed(), self.equity_now()))
        if record:
            self.store_rows.balance(self.balance, self.positions)

    def equity_now(self):
        """The account's net liquidating value: cash (realized profit included) plus the
        open trades' profit."""
        return float(self.balance.net_cash_power or 0)

    def elapsed(self):
        return 0.0 if self._started_at is None else time.monotonic() - self._started_at

    @property
    def rows_written(self):
        """Rows written so far, by table."""
        return self.store_rows.written

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
        self.store_rows.order_placed(tracked)
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
            bars = self.gateway.get_bars(security)
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
        """Answers every request the bot has raised (chat_commands)."""
        self.chat.answer_requests()


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
