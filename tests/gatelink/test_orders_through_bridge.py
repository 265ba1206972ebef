"""Orders placed through the framework's CQG gateway, the real COM bridge and the emulated
matching engine: GUIDs handed over, updates and deals in order, positions and balance after
fills."""
import pytest

import corvane_emulator as emu
from corvane.core.constants import Direction, OrderStatus, OrderType
from corvane.core.order import Order
from corvane.core.security import Futures
from corvane.gateways.cqg.gateway import CqgGateway

from test_through_bridge import settle

pytestmark = pytest.mark.timeout(60)

EP = Futures(code="EPZ26", security_name="E-mini S&P 500 Dec 26")


def connected(gatelink, **scenario):
    """A gateway following account 1001 and EPZ26's quotes, the market at 6000/6000.5."""
    gatelink.TIMEOUT = 10  # answers come through the bridge's pump
    emu.reset()
    emu.load_scenario(**scenario)
    gateway = CqgGateway([EP], history=10_000)
    link = gateway.connect().gatelink
    link.subscribe_account_and_positions(1001)
    link.subscribe_quote("EPZ26")
    emu.set_market("EPZ26", 6000.0, 6000.5)
    yield gateway, link
    gateway.close()
    emu.reset()


@pytest.fixture
def trading(gatelink, trace):
    yield from connected(gatelink)


@pytest.fixture
def trading_nested(gatelink, trace):
    yield from connected(gatelink, event_delivery="nested")


def order(order_type, direction, quantity, price=0, stop_price=None):
    return Order(EP, order_type, direction, quantity, price=price, stop_price=stop_price)


def updates(gateway, guid):
    return [(u["status"], u["filled_quantity"]) for u in gateway.orders if u["order_id"] == guid]


def deals(gateway, guid):
    return [(d["filled_avg_price"], d["filled_quantity"]) for d in gateway.deals
            if d["order_id"] == guid]


class TestPlacing:
    def test_market_limit_and_stop_orders_fill_and_move_positions_and_balance(self, trading):
        gateway, link = trading
        bought = gateway.place_order(order(OrderType.MARKET, Direction.LONG, 2))
        sold = gateway.place_order(order(OrderType.LIMIT, Direction.SHORT, 3, 6002.0))
        stop = gateway.place_order(order(OrderType.STOP, Direction.LONG, 1, 6010.0, 6005.0))
        assert len({bought, sold, stop}) == 3 and link.order_id is None
        emu.set_market("EPZ26", 6002.0, 6002.5, size=2)
        emu.set_market("EPZ26", 6006.0, 6006.5)
        settle(gateway, link)

        S, F = OrderStatus.SUBMITTED, OrderStatus.FILLED
        assert updates(gateway, bought) == [(S, 0), (F, 2)]
        assert deals(gateway, bought) == [(6000.5, 2)]
        assert updates(gateway, sold) == [(S, 0), (S, 2), (F, 3)]
        assert deals(gateway, sold) == [(6002.0, 2), (6006.0, 1)]
        assert updates(gateway, stop) == [(S, 0), (F, 1)] and deals(gateway, stop) == [(6006.5, 1)]
        assert len({d["deal_id"] for d in gateway.deals}) == 4

        link.update_positions()
        assert link.positions == []  # bought three, sold three: flat, not listed
        link.update_account_balance()
        realised = (6002.0 - 6000.5) * 2 + (6006.0 - 6006.5) * 1
        assert link.account_balance.realized_pnl == pytest.approx(realised)

    def test_positions_after_fills(self, trading):
        gateway, link = trading
        gateway.place_order(order(OrderType.MARKET, Direction.SHORT, 4))
        settle(gateway, link)
        link.update_positions()
        assert [(p.security, p.direction, p.quantity, p.holding_price) for p in link.positions] \
            == [(EP, Direction.SHORT, 4, 6000.0)]
        emu.set_market("EPZ26", 5990.0, 5991.0)
        link.update_account_balance()
        assert link.account_balance.unrealized_pnl == pytest.approx(4 * (6000.0 - 5990.5))

    def test_cancel_of_a_resting_limit_order(self, trading):
        gateway, link = trading
        guid = gateway.place_order(order(OrderType.LIMIT, Direction.LONG, 1, 5900.0))
        gateway.cancel_order(guid)
        settle(gateway, link)
        assert updates(gateway, guid) == [(OrderStatus.SUBMITTED, 0), (OrderStatus.UNKNOWN, 0),
                                          (OrderStatus.CANCELLED, 0)]
        assert emu.orders()[0]["status"] == "osCanceled"

    @pytest.mark.parametrize("order_id", ["\ud800", "GUID-\udcff", "no such order"])
    def test_a_cancel_of_an_id_no_order_has_is_the_unknown_index_error(self, trading,
                                                                       order_id):
        # Text with a lone surrogate reaches CQG as any other text no order is named by.
        import pywintypes
        gateway, _ = trading
        with pytest.raises(pywintypes.com_error) as raised:
            gateway.cancel_order(order_id)
        assert raised.value.args[:2] == (-2147352565, "Invalid index.")

    def test_rejected_order_reaches_process_order_as_failed(self, trading):
        gateway, link = trading
        emu.reject_next_order()
        guid = gateway.place_order(order(OrderType.MARKET, Direction.LONG, 1))
        settle(gateway, link)
        assert updates(gateway, guid) == [(OrderStatus.FAILED, 0)] and not gateway.deals


class TestHandOver:
    def test_placement_time_out(self, gatelink, trading):
        gateway, link = trading
        gatelink.TIMEOUT = 0.2
        emu.drop_next_order()
        with pytest.raises(RuntimeError, match="^Order placing timeout!\n"):
            gateway.place_order(order(OrderType.MARKET, Direction.LONG, 1))
        assert emu.orders()[0]["status"] == "osInTransit"

    def test_order_added_from_outside_while_the_event_is_set(self, trading, capsys):
        gateway, link = trading
        gateway.place_order(order(OrderType.LIMIT, Direction.LONG, 1, 5900.0))
        settle(gateway, link)
        guid = emu.manual_order(1001, "EPZ26", "buy", 1)
        settle(gateway, link)
        assert f"orderid {guid} is not placed by algo" in capsys.readouterr().out
        assert link.order_id is None
        # Its later changes are updates like any other; the added report was not one.
        assert updates(gateway, guid) == [(OrderStatus.SUBMITTED, 0), (OrderStatus.FILLED, 1)]

    def test_nested_delivery_still_hands_the_guid_over(self, trading_nested):
        gateway, link = trading_nested
        guid = gateway.place_order(order(OrderType.MARKET, Direction.LONG, 1))
        assert guid == emu.orders()[0]["guid"] and link.order_id is None
        settle(gateway, link)
        assert deals(gateway, guid) == [(6000.5, 1)]

