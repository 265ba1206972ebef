"""The bot module's class and handlers report to inspect the parameters its stub declares,
and their documentation without a signature line."""
import inspect

from bot_support import AUTHORISED_CHAT
from system_modules import assert_real_signatures, runtime_signatures, stub_signatures


def test_every_callable_has_a_signature_and_plain_documentation(bot_module):
    assert_real_signatures(bot_module)


def test_parameters_as_the_stub_declares_them(bot_module):
    expected = stub_signatures(bot_module)
    # The handlers, TelegramBot's methods and both accessors of its request properties.
    assert "send_order" in expected and "TelegramBot.get_balance.fset" in expected
    assert runtime_signatures(bot_module, expected) == expected


def test_the_default_chat_is_the_configured_one(bot_module):
    # The stub elides it: it is TELEGRAM_CHAT_ID as configured when the module was made.
    assert str(inspect.signature(bot_module.TelegramBot.send_message)) == \
        f"(self, msg, chat_id={AUTHORISED_CHAT})"
    assert str(inspect.signature(bot_module.bot.send_message)) == \
        f"(msg, chat_id={AUTHORISED_CHAT})"


def test_a_handler_keeps_its_help_text(bot_module):
    assert bot_module.send_order.__doc__ == (
        "/send_order [parameters] send an order with string instruction:\n"
        "- order_string: str, security_code, quantity, direction(l/s), offset(o/c),\n"
        "                order_type(m/l/s), gateway_name, price(None),\n"
        "                stop_price(None)")
