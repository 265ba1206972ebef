"""The bot module's class and handlers report their parameters to inspect, and their
documentation without a signature line."""
import inspect

from bot_support import AUTHORISED_CHAT
from system_modules import assert_real_signatures

HANDLERS = ["echo", "stop", "balance", "positions", "orders", "deals", "cancel_orders",
            "cancel_order", "send_order", "close_positions"]


def test_every_callable_has_a_signature_and_plain_documentation(bot_module):
    assert_real_signatures(bot_module)


def test_telegram_bot_methods(bot_module):
    TelegramBot = bot_module.TelegramBot
    assert str(inspect.signature(TelegramBot)) == "(token)"
    assert str(inspect.signature(TelegramBot.send_message)) == f"(self, msg, chat_id={AUTHORISED_CHAT})"
    for name in ("get_updates", "get_chat_id", "close"):
        assert str(inspect.signature(getattr(TelegramBot, name))) == "(self)", name
    assert str(inspect.signature(bot_module.bot.send_message)) == f"(msg, chat_id={AUTHORISED_CHAT})"


def test_request_properties_take_val(bot_module):
    properties = [v for v in vars(bot_module.TelegramBot).values() if isinstance(v, property)]
    assert len(properties) == 16
    for prop in properties:
        assert str(inspect.signature(prop.fget)) == "(self)"
        assert str(inspect.signature(prop.fset)) == "(self, val)"


def test_handlers(bot_module):
    for name in HANDLERS:
        assert str(inspect.signature(getattr(bot_module, name))) == "(update, context)", name
    assert bot_module.send_order.__doc__ == (
        "/send_order [parameters] send an order with string instruction:\n"
        "- order_string: str, security_code, quantity, direction(l/s), offset(o/c),\n"
        "                order_type(m/l/s), gateway_name, price(None),\n"
        "                stop_price(None)")
