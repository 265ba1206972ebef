"""The framework stand-in's records behave as the system modules rely on."""
import dataclasses
from datetime import datetime

import pytest

from corvane.core.balance import AccountBalance
from corvane.core.constants import Exchange
from corvane.core.data import Bar, OrderBook, Quote
from corvane.core.utility import safe_call


def test_quote_and_orderbook_change_by_copy_only():
    now = datetime(2026, 12, 8, 9, 30)
    q = Quote(security="ES", exchange=Exchange.CME, datetime=now)
    assert (q.last_price, q.bid_price, q.ask_volume) == (0, 0, 0)
    q2 = dataclasses.replace(q, bid_price=101.5)
    assert (q.bid_price, q2.bid_price, q2.security) == (0, 101.5, "ES")
    with pytest.raises(dataclasses.FrozenInstanceError):
        q.bid_price = 1
    ob = OrderBook(security="ES", exchange=Exchange.CME, datetime=now)
    assert dataclasses.replace(ob, ask_price_1=3).ask_price_1 == 3


def test_bar_fields_assignable_and_balance_built_empty():
    bar = Bar(datetime=datetime(2026, 1, 1), security="ES", open=1, high=2, low=0.5, close=1.5, volume=10)
    bar.close = 1.75
    assert bar.close == 1.75
    balance = AccountBalance()
    balance.cash = 10.0
    assert balance.cash_by_currency == {} and AccountBalance().cash == 0


def test_safe_call_reports_and_returns_none(capsys):
    @safe_call
    def boom(x):
        raise ValueError(f"bad {x}")

    assert safe_call(lambda: 3)() == 3
    assert boom(1) is None
    err = capsys.readouterr().err
    assert "Traceback" in err and "ValueError: bad 1" in err
