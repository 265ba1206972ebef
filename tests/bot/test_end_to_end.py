"""The bot module against the local Bot API server, through the real library: commands
reach the handlers from the authorised chat only, replies come back, close() ends the
library's threads, and the import fails cleanly on a bad configuration."""
import logging
import re
import threading

import pytest
import telegram

from bot_fakes import INITIAL_REQUESTS
from bot_support import AUTHORISED_CHAT, library_threads, wait_until

pytestmark = pytest.mark.timeout(60)

STAMP = r"\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}(\.\d{6})?\] "

CONVERSATION = [
    ("/balance", STAMP + r"Fetching balance\.\.\."),
    ("/positions", STAMP + r"Fetching positions\.\.\."),
    ("/orders 5 -a", STAMP + re.escape("['5', '-a']...")),
    (None, STAMP + re.escape("Fetching orders (active_orders=True, num_orders_displayed=5)...")),
    ("/deals 3", STAMP + re.escape("Fetching deals (num_deals_displayed=3)...")),
    ("/cancel_order 123 GW", STAMP + re.escape("Canceling order: order_id=123,gateway_name=GW...")),
    ("/cancel_orders", STAMP + r"Canceling all active orders\.\.\."),
    ("/help", None),  # no handler, no reply
    ("/send_order EPZ26,1,l,o,l,CQG,5000.25,None",
     STAMP + re.escape("Send order (EPZ26,1,l,o,l,CQG,5000.25,None)...")),
    ("/close_positions GW", STAMP + r"Closing positions\.\.\."),
    ("hello bot", re.escape("[ECHO] hello bot")),
    ("/stop now", STAMP + r"Terminating Corvane\.\.\."),
]

STORED = {
    "corvane_status": "Terminated", "get_balance": True, "get_positions": True,
    "get_orders": True, "active_orders": True, "num_orders_displayed": 5, "get_deals": True,
    "num_deals_displayed": 3, "cancel_order": True, "cancel_order_id": "123",
    "gateway_name": "GW", "cancel_orders": True, "send_order": True,
    "order_string": "EPZ26,1,l,o,l,CQG,5000.25,None", "close_positions": True,
    "close_positions_gateway_name": "GW",
}


def requests_of(bot):
    return {name: getattr(bot, name) for name in INITIAL_REQUESTS}


def say_all(api, chat_id, user_id=None):
    for text, _ in CONVERSATION:
        if text is not None:
            api.send_text(text, chat_id=chat_id, user_id=user_id)


def test_the_authorised_chat_is_served(import_bot, bot_api):
    module = import_bot()
    say_all(bot_api, AUTHORISED_CHAT)
    replies = [pattern for _, pattern in CONVERSATION if pattern is not None]
    sent = bot_api.wait_for_sent(len(replies))
    for message, pattern in zip(sent, replies):
        assert message["chat_id"] == AUTHORISED_CHAT
        assert re.fullmatch(pattern, message["text"]), message["text"]
    assert requests_of(module.bot) == STORED
    # The engine's side: it reads a request, answers and clears the flag.
    module.bot.send_message("Balance: 100")
    module.bot.get_balance = False
    assert bot_api.wait_for_sent(len(replies) + 1)[-1] == {"chat_id": AUTHORISED_CHAT,
                                                           "text": "Balance: 100"}
    assert module.bot.updater.bot.get_balance is False


def test_other_chats_change_nothing_and_get_no_reply(import_bot, bot_api, caplog):
    caplog.set_level(logging.WARNING, logger="corvane.plugins.telegram.bot")
    module = import_bot()
    say_all(bot_api, chat_id=99)
    # The authorised user writing in another (group) chat is not let in either.
    say_all(bot_api, chat_id=-1001, user_id=AUTHORISED_CHAT)
    bot_api.send_text("/positions", chat_id=AUTHORISED_CHAT)
    # Updates are handled in order: once this reply is out, the others were handled.
    (reply,) = bot_api.wait_for_sent(1)
    assert reply["chat_id"] == AUTHORISED_CHAT and "Fetching positions" in reply["text"]
    assert requests_of(module.bot) == {**INITIAL_REQUESTS, "get_positions": True}
    refusals = [r for r in caplog.records if r.levelno == logging.WARNING]
    assert [r.args[0] for r in refusals] == [99, -1001]  # once per chat
    assert all(r.args[1] == AUTHORISED_CHAT for r in refusals)


def test_with_no_chat_id_nobody_is_served(import_bot, bot_api, caplog):
    caplog.set_level(logging.WARNING, logger="corvane.plugins.telegram.bot")
    module = import_bot(chat_id=None)
    assert any("TELEGRAM_CHAT_ID is None" in r.getMessage() for r in caplog.records)
    say_all(bot_api, AUTHORISED_CHAT)
    # Once every update is confirmed the dispatcher holds them all; close() lets it finish.
    wait_until(lambda: bot_api.pending_updates() == 0)
    module.bot.close()
    assert bot_api.sent() == []
    assert requests_of(module.bot) == INITIAL_REQUESTS
    with pytest.raises(TypeError, match=r"Argument 'chat_id' has incorrect type \(expected "
                                        r"int, got NoneType\)"):
        module.bot.send_message("nowhere to go")


def test_an_edited_message_runs_no_command_and_gets_no_reply(import_bot, bot_api):
    module = import_bot()
    # Every command, and plain text, edited later: nothing may run again.
    for text, _ in CONVERSATION:
        if text is not None:
            bot_api.send_text(text, chat_id=AUTHORISED_CHAT, edited=True)
    bot_api.send_text("/positions", chat_id=AUTHORISED_CHAT)
    # Updates are handled in order: once this reply is out, the edits were handled.
    (reply,) = bot_api.wait_for_sent(1)
    assert "Fetching positions" in reply["text"]
    assert requests_of(module.bot) == {**INITIAL_REQUESTS, "get_positions": True}


def test_a_pool_sized_for_the_sending_threads_keeps_every_connection(
        import_bot, bot_api, caplog):
    caplog.set_level(logging.WARNING)
    assert import_bot().bot.updater.bot.request.con_pool_size == 8  # the default
    module = import_bot(TELEGRAM_CONNECTION_POOL_SIZE=8 + 16)
    senders = [threading.Thread(target=lambda n=n: [module.bot.send_message(f"{n}.{i}")
                                                    for i in range(25)]) for n in range(16)]
    for sender in senders:
        sender.start()
    for sender in senders:
        sender.join()
    assert len(bot_api.sent()) == 16 * 25
    assert not [r for r in caplog.records if "pool is full" in r.getMessage()]


def test_close_ends_every_library_thread(import_bot, bot_api):
    before = set(threading.enumerate())
    module = import_bot()
    assert library_threads(before)  # the updater, dispatcher, workers and job queue
    module.bot.close()
    assert library_threads(before) == []


def test_a_new_import_makes_a_new_bot_from_the_current_config(import_bot, bot_api):
    first = import_bot(chat_id=42)
    first.bot.close()
    second = import_bot(chat_id=43.9)
    assert second is not first and second.bot is not first.bot
    assert second.TelegramBot is not first.TelegramBot
    assert requests_of(second.bot) == INITIAL_REQUESTS
    second.bot.send_message("hello")
    assert bot_api.wait_for_sent(1)[0]["chat_id"] == 43
    bot_api.send_text("/balance", chat_id=43)
    assert "Fetching balance" in bot_api.wait_for_sent(2)[1]["text"]


def chat_id_or_none(bot):
    try:
        return bot.get_chat_id()
    except RuntimeError:
        return None


class TestChatIdHelpers:
    def test_get_chat_id_reads_the_first_pending_message(self, import_bot, bot_api, capsys):
        module = import_bot(chat_id=None)
        module.bot.close()  # nobody else takes the update now
        bot_api.send_text("hi", chat_id=-5, user_id=555)
        assert module.bot.get_chat_id() == 555
        assert isinstance(module.bot.updates[0], telegram.Update)
        assert "'text': 'hi'" in capsys.readouterr().out

    def test_get_chat_id_while_polling_gives_the_chat_of_the_last_message(
            self, import_bot, bot_api, caplog):
        caplog.set_level(logging.WARNING, logger="corvane.plugins.telegram.bot")
        module = import_bot(chat_id=None)
        assert any("call bot.get_chat_id()" in r.getMessage() for r in caplog.records)
        with pytest.raises(RuntimeError, match="received no message yet: send the bot a "
                                               "message in Telegram, then call get_chat_id"):
            module.bot.get_chat_id()
        bot_api.send_text("hi", chat_id=777)
        wait_until(lambda: chat_id_or_none(module.bot) == 777)
        # A group chat is the chat to configure, not its member.
        bot_api.send_text("hello", chat_id=-1001, user_id=777)
        wait_until(lambda: chat_id_or_none(module.bot) == -1001)
        assert bot_api.sent() == []  # nothing was served meanwhile

    def test_no_pending_update(self, import_bot, capsys):
        module = import_bot(chat_id=None)
        module.bot.close()
        module.bot.get_updates()
        assert module.bot.updates == []
        assert "No pending update" in capsys.readouterr().out
        with pytest.raises(RuntimeError, match="send the bot a message"):
            module.bot.get_chat_id()


class TestImportFailures:
    def test_a_missing_name_fails_the_import(self, import_bot):
        with pytest.raises(ImportError, match="TELEGRAM_CHAT_ID"):
            import_bot(TELEGRAM_CHAT_ID=...)

    def test_a_chat_id_that_is_no_number(self, import_bot):
        with pytest.raises(TypeError, match=r"^Expected int, got str$"):
            import_bot(chat_id="42")

    def test_a_token_that_is_no_str(self, import_bot):
        with pytest.raises(TypeError, match=r"Argument 'token' has incorrect type"):
            import_bot(TELEGRAM_TOKEN=123)

    def test_a_base_url_that_is_no_str(self, import_bot):
        with pytest.raises(TypeError, match="TELEGRAM_BASE_URL"):
            import_bot(TELEGRAM_BASE_URL=8080)

    @pytest.mark.parametrize("size, error", [("8", TypeError), (8.0, TypeError),
                                             (0, ValueError), (2**70, ValueError)])
    def test_a_connection_pool_size_that_is_no_positive_int(self, import_bot, size, error):
        with pytest.raises(error, match="TELEGRAM_CONNECTION_POOL_SIZE"):
            import_bot(TELEGRAM_CONNECTION_POOL_SIZE=size)

    def test_an_unreachable_api_fails_the_import_and_leaves_no_thread(self, import_bot,
                                                                       bot_api):
        before = set(threading.enumerate())
        with pytest.raises(telegram.error.NetworkError):
            import_bot(TELEGRAM_BASE_URL="http://127.0.0.1:9/bot")
        assert library_threads(before) == []

    def test_a_refused_token_fails_the_import(self, import_bot):
        before = set(threading.enumerate())
        with pytest.raises(telegram.error.Unauthorized):
            import_bot(TELEGRAM_TOKEN="999:refused")
        assert library_threads(before) == []
