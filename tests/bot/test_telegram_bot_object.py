"""TelegramBot: its class, its properties over the library bot, send_message's chat ids,
and the names the module binds."""
import datetime
import subprocess
import sys
import warnings

import pytest
import telegram
from telegram.utils.deprecate import TelegramDeprecationWarning

from bot_child import run_with_bot_module
from bot_fakes import INITIAL_REQUESTS

pytestmark = pytest.mark.timeout(30)

FLAGS = ["get_balance", "get_positions", "get_orders", "active_orders", "get_deals",
         "cancel_order", "cancel_orders", "send_order", "close_positions"]
AS_GIVEN = ["num_orders_displayed", "num_deals_displayed", "cancel_order_id", "gateway_name",
            "order_string", "close_positions_gateway_name"]


def type_error(arg, expected, got):
    return f"Argument '{arg}' has incorrect type (expected {expected}, got {got})"


def test_module_binds_its_names_in_order(bot_module):
    expected = ["datetime", "Update", "Updater", "ExtBot", "CallbackContext", "CommandHandler",
                "MessageHandler", "Filters", "TELEGRAM_TOKEN", "TELEGRAM_CHAT_ID",
                "CustomedExtBot", "echo", "stop", "balance", "positions", "orders", "deals",
                "cancel_orders", "cancel_order", "send_order", "close_positions",
                "TelegramBot", "bot"]
    bound = [name for name in vars(bot_module) if name in expected]
    assert bound == expected
    assert bot_module.Filters is telegram.ext.Filters
    assert bot_module.datetime is datetime.datetime  # the class, as Update is telegram's


def test_class_shape(bot_module):
    TelegramBot = bot_module.TelegramBot
    assert TelegramBot.__bases__ == (object,)
    assert TelegramBot.__doc__ == (
        '\n    <Corvane TelegramBot> Available commands:"\n    1. /stop\n    2. /balance\n'
        "    3. /positions\n    4. /orders\n    5. /deals\n    6. /cancel_order\n"
        "    7. /cancel_orders\n    8. /send_order\n    9. /close_positions\n    10. /help\n    ")
    properties = [n for n, v in vars(TelegramBot).items() if isinstance(v, property)]
    assert properties == ["corvane_status", "get_balance", "get_positions", "get_orders",
                          "num_orders_displayed", "active_orders", "get_deals",
                          "num_deals_displayed", "cancel_order", "cancel_order_id",
                          "gateway_name", "cancel_orders", "send_order", "order_string",
                          "close_positions", "close_positions_gateway_name"]
    CustomedExtBot = bot_module.CustomedExtBot
    assert CustomedExtBot.__bases__ == (telegram.ext.ExtBot,)
    assert CustomedExtBot.__slots__ == ("corvane_status",)


def test_the_library_bot_carries_the_requests(bot_module):
    library_bot = bot_module.bot.updater.bot
    assert type(library_bot) is bot_module.CustomedExtBot
    assert bot_module.bot.updater.dispatcher.bot is library_bot
    assert "updates" not in vars(bot_module.bot)


class TestProperties:
    @pytest.mark.parametrize("name", FLAGS)
    def test_flags_store_the_truth_value(self, bot_module, name):
        bot = bot_module.bot
        for value, stored in [(0, False), ("", False), (None, False), (False, False),
                              (5, True), ("no", True), ([0], True)]:
            setattr(bot, name, value)
            assert getattr(bot.updater.bot, name) is stored
            assert getattr(bot, name) is stored

    def test_a_failing_truth_test_propagates(self, bot_module):
        class Undecided:
            def __bool__(self):
                raise ValueError("undecided")

        bot_module.bot.get_balance = True
        with pytest.raises(ValueError, match="undecided"):
            bot_module.bot.get_balance = Undecided()
        assert bot_module.bot.get_balance is True

    @pytest.mark.parametrize("name", AS_GIVEN)
    def test_parameters_are_stored_unchanged(self, bot_module, name):
        value = object()
        setattr(bot_module.bot, name, value)
        assert getattr(bot_module.bot.updater.bot, name) is value
        setattr(bot_module.bot, name, None)
        assert getattr(bot_module.bot, name) is None

    def test_status_must_be_exactly_str(self, bot_module):
        bot = bot_module.bot
        bot.corvane_status = "Paused"
        for value, got in [(1, "int"), (None, "NoneType"), (type("Text", (str,), {})("x"), "Text")]:
            with pytest.raises(TypeError) as error:
                bot.corvane_status = value
            assert str(error.value) == type_error("val", "str", got)
            assert bot.corvane_status == "Paused"
        bot.corvane_status = "Running"

    def test_a_request_missing_from_the_library_bot_raises(self, tmp_path):
        # In a child: a getter whose lookup failed while its result was converted would
        # abort the process.
        run = run_with_bot_module(tmp_path, """
            del module.bot.updater.bot.order_string
            try:
                module.bot.order_string
            except AttributeError as error:
                print("raised", "order_string" in str(error))
            """)
        assert run.returncode == 0, run.stderr
        assert run.stdout.splitlines()[-1] == "raised True"


def test_a_new_bot_starts_with_the_initial_requests(import_bot, caplog):
    with warnings.catch_warnings():
        # The library warns about attributes added to its own bot classes.
        warnings.simplefilter("error", TelegramDeprecationWarning)
        module = import_bot()
        bot = module.bot
        bot.get_balance = True
        bot.get_balance = False
    assert "Connection pool" not in caplog.text  # sized for the Updater's threads
    assert {name: getattr(bot, name) for name in INITIAL_REQUESTS} == INITIAL_REQUESTS
    assert list(vars(bot.updater.bot))[-15:] == list(INITIAL_REQUESTS)[1:]


@pytest.mark.parametrize("token, got", [(123456, "int"), (None, "NoneType"),
                                       (type("Token", (str,), {})("1:x"), "Token")])
def test_token_must_be_exactly_str(bot_module, token, got):
    with pytest.raises(TypeError) as error:
        bot_module.TelegramBot(token)
    assert str(error.value) == type_error("token", "str", got)


class TestSendMessage:
    def sent_to(self, bot_module, count):
        return [m["chat_id"] for m in bot_module.test_api.wait_for_sent(count)[-1:]][0]

    def test_chat_ids(self, bot_module):
        api = bot_module.test_api
        start = len(api.sent())
        bot = bot_module.bot
        bot.send_message("to the configured chat")
        bot.send_message("float", chat_id=12.7)
        bot.send_message("negative float", chat_id=-12.7)
        bot.send_message("bool", chat_id=True)
        bot.send_message("int", 99)
        sent = api.wait_for_sent(start + 5)[start:]
        assert sent == [{"chat_id": 42, "text": "to the configured chat"},
                        {"chat_id": 12, "text": "float"},
                        {"chat_id": -12, "text": "negative float"},
                        {"chat_id": 1, "text": "bool"},
                        {"chat_id": 99, "text": "int"}]

    @pytest.mark.parametrize("kwargs, message", [
        ({"msg": "x", "chat_id": "12"}, type_error("chat_id", "int", "str")),
        ({"msg": "x", "chat_id": None}, type_error("chat_id", "int", "NoneType")),
        ({"msg": b"x", "chat_id": 12}, type_error("msg", "str", "bytes")),
        # The chat id is examined first.
        ({"msg": b"x", "chat_id": "12"}, type_error("chat_id", "int", "str")),
    ])
    def test_type_errors(self, bot_module, kwargs, message):
        with pytest.raises(TypeError) as error:
            bot_module.bot.send_message(**kwargs)
        assert str(error.value) == message

    def test_library_errors_propagate(self, bot_module):
        with pytest.raises(telegram.error.BadRequest, match="text is empty"):
            bot_module.bot.send_message("")

    def test_default_chat_is_fixed_when_the_class_is_made(self, bot_module, monkeypatch):
        api = bot_module.test_api
        start = len(api.sent())
        monkeypatch.setattr(bot_module, "TELEGRAM_CHAT_ID", 5)
        bot_module.bot.send_message("still to 42")
        assert api.wait_for_sent(start + 1)[start]["chat_id"] == 42


@pytest.mark.parametrize("server", ["still answering", "gone"])
def test_a_bot_left_polling_is_stopped_at_exit_after_one_warning(tmp_path, server):
    # In a child, with a time-out: the library's threads are no daemons, and a bot nobody
    # closed would keep the interpreter from exiting.
    script = f"""
import atexit
import sys
from corvane_local_bot_api import LocalBotApi

api = LocalBotApi().__enter__()
with open({str(tmp_path / "corvane_config.py")!r}, "w") as config:
    config.write(f"TELEGRAM_TOKEN = {{api.token!r}}\\nTELEGRAM_CHAT_ID = 42\\n"
                 f"TELEGRAM_BASE_URL = {{api.base_url!r}}\\n")
sys.path.insert(0, {str(tmp_path)!r})
from corvane.plugins.telegram import bot as module
print("polling:", module.bot.updater.running)
if {server!r} == "gone":
    api.__exit__(None, None, None)
else:  # stopped only after the exit guard has run, which threading does first
    atexit.register(api.__exit__, None, None, None)
"""
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout == "polling: True\n"
    assert run.stderr.count("TelegramBot was not closed: 1 bot(s) still polling") == 1, run.stderr


def test_a_closed_bot_exits_without_a_warning(tmp_path):
    run = run_with_bot_module(tmp_path, "print('polling:', module.bot.updater.running)")
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines()[-1] == "polling: True"
    assert "was not closed" not in run.stderr
