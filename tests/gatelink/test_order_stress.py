"""Two thousand orders of mixed types, some cancelled, against the live emulated market
through the bridge: every order gets one GUID, every fill becomes one deal, and the final
position is the sum of the fills."""
import random
from collections import Counter

import pytest

import corvane_emulator as emu
from corvane.core.constants import Direction, OrderType

from test_orders_through_bridge import EP, order, settle, trading  # noqa: F401 (fixture)

pytestmark = pytest.mark.timeout(120)

ORDERS = 2000


def random_order(draw, around):
    direction = draw.choice([Direction.LONG, Direction.SHORT])
    sign = 1 if direction == Direction.LONG else -1
    quantity = draw.choice([1, 1, 2, 3, 5, 8, 40, 150])  # the large ones fill in parts
    kind = draw.choice([OrderType.MARKET, OrderType.LIMIT, OrderType.LIMIT, OrderType.STOP])
    offset = draw.randint(-8, 8) * 0.25
    if kind == OrderType.MARKET:
        return order(kind, direction, quantity)
    if kind == OrderType.LIMIT:
        return order(kind, direction, quantity, around + offset)
    stop = around + sign * abs(offset)
    return order(kind, direction, quantity, stop + sign * 1.0, stop)


def test_every_order_and_fill_is_accounted_for(trading):
    gateway, link = trading
    draw = random.Random(20260105)
    emu.start_market(5000.0, ticks_per_second=0, step=0.005)
    guids = []
    try:
        for n in range(ORDERS):
            guids.append(gateway.place_order(random_order(draw, 6000.0)))
            if draw.random() < 0.2:
                gateway.cancel_order(guids[draw.randrange(len(guids))])
    finally:
        emu.stop_market()
    settle(gateway, link)

    assert len(set(guids)) == ORDERS and link.order_id is None
    assert [o["guid"] for o in emu.orders()] == guids

    fills = emu.fills()
    assert len(fills) > ORDERS // 4  # the market did trade with them
    deal_ids = Counter(d["deal_id"] for d in gateway.deals)
    assert deal_ids == Counter(f["id"] for f in fills)  # each fill exactly once
    filled = Counter()
    for fill in fills:
        filled[fill["guid"]] += fill["quantity"]
    assert {o["guid"]: o["filled"] for o in emu.orders() if o["filled"]} == dict(filled)

    side = {o["guid"]: (1 if o["side"] == "buy" else -1) for o in emu.orders()}
    net = sum(side[f["guid"]] * f["quantity"] for f in fills)
    link.update_positions()
    held = sum((p.quantity if p.direction == Direction.LONG else -p.quantity)
               for p in link.positions)
    assert held == net
