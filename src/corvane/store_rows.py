"""The rows a trading session keeps in the store: a balance with the positions held at that
moment, each order as placed and as it changes, and each fill. Orders and fills name the
latest balance row. Without a store nothing is written and nothing counted."""
from datetime import datetime

TABLES = ("balance", "position", "trading_order", "trading_deal")

# The balance's money columns, stored as floats whatever number type CQG gave.
_MONEY = ("cash", "available_cash", "net_cash_power", "maintenance_margin", "unrealized_pnl",
          "realized_pnl")


class StoreRows:
    def __init__(self, db, broker_name, account_id, strategy_account, strategy_version):
        self.db = db
        self.broker_name = broker_name
        self.account_id = account_id
        self.strategy_account = strategy_account
        self.strategy_version = strategy_version
        self.written = dict.fromkeys(TABLES, 0)
        self.balance_row_id = 0

    def balance(self, balance, positions):
        """A new balance row, and a position row for each position, tied to it."""
        if self.db is None:
            return
        b, now = balance, datetime.now().replace(microsecond=0)
        values = {
            "broker_name": self.broker_name, "broker_environment": "SIMULATE",
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
        self.written["balance"] += 1
        for p in positions:
            self.db.insert_records(
                "position", balance_id=self.balance_row_id,
                security_name=p.security.security_name, security_code=p.security.code,
                direction=p.direction.value, holding_price=float(p.holding_price),
                quantity=int(p.quantity), update_time=now)
            self.written["position"] += 1

    def order_placed(self, order):
        """The order's row as placed; the order learns its row id."""
        if self.db is None:
            return
        security = order.security
        self.db.insert_records(
            "trading_order", broker_order_id=order.order_id, balance_id=self.balance_row_id,
            security_name=security.security_name, security_code=security.code,
            price=order.price, quantity=int(order.quantity), direction=order.direction.value,
            offset=order.offset.value, order_type=order.order_type.value,
            create_time=order.create_time, update_time=order.update_time,
            filled_avg_price=0.0, filled_quantity=0, status=order.status.value)
        order.row_id = self.db.cursor.lastrowid
        self.written["trading_order"] += 1

    def order_changed(self, order):
        """The order's row brought to its status and fills."""
        if self.db is None:
            return
        self.db.update_records(
            "trading_order",
            {"status": order.status.value, "update_time": order.update_time,
             "filled_quantity": int(order.filled_quantity),
             "filled_avg_price": float(order.filled_avg_price)},
            id=order.row_id)

    def deal(self, deal):
        if self.db is None:
            return
        order = deal.order
        self.db.insert_records(
            "trading_deal", broker_deal_id=deal.deal_id, broker_order_id=order.order_id,
            order_id=order.row_id, balance_id=self.balance_row_id,
            security_name=order.security.security_name, security_code=order.security.code,
            direction=order.direction.value, offset=order.offset.value,
            order_type=order.order_type.value, update_time=deal.time,
            filled_avg_price=float(deal.price), filled_quantity=int(deal.quantity))
        self.written["trading_deal"] += 1
