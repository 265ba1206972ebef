"""Sample rows of the record tables, shared by the record store's tests."""
import datetime

BALANCE = dict(
    broker_name="CQG", broker_environment="SIMULATE", broker_account_id=1,
    broker_account="ACC1", strategy_account_id=2, strategy_account="S1",
    strategy_version="1.0", cash=100.0, available_cash=90.0,
    update_time="2026-01-02 03:04:05",
)

ORDER = dict(
    broker_order_id="B-1", balance_id=1, security_name="E-mini", security_code="EPZ26",
    price=5000.25, quantity=2, direction="LONG", offset="OPEN", order_type="LIMIT",
    create_time=datetime.datetime(2026, 1, 2, 3, 4, 5), update_time="2026-01-02 03:04:06",
    filled_avg_price=0.0, filled_quantity=0, status="SUBMITTED",
)
