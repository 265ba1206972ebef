"""The chat handlers, called directly: what each command stores, in which order, and
what it replies."""
import datetime
import re

import pytest

from bot_child import run_with_bot_module
from bot_fakes import INITIAL_REQUESTS, FakeLibraryBot, command, text_message

pytestmark = pytest.mark.timeout(30)

STAMP = re.compile(r"^\[(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}(?:\.\d{6})?)\] ")


def unstamped(text):
    """The reply without its time stamp, which must have the date-time's text form."""
    match = STAMP.match(text)
    assert match, text
    datetime.datetime.fromisoformat(match.group(1))
    return "] " + text[match.end():]


def changed(library_bot):
    return {k: v for k, v in library_bot.requests().items() if INITIAL_REQUESTS[k] != v}


class TestOrders:
    @pytest.mark.parametrize("words, stored, summary", [
        ((), {"get_orders": True}, "active_orders=False, num_orders_displayed=1"),
        (("-a",), {"active_orders": True, "get_orders": True},
         "active_orders=True, num_orders_displayed=1"),
        (("7",), {"num_orders_displayed": 7, "get_orders": True},
         "active_orders=False, num_orders_displayed=7"),
        (("-a", "5"), {"active_orders": True, "num_orders_displayed": 5, "get_orders": True},
         "active_orders=True, num_orders_displayed=5"),
        (("5", "-a"), {"active_orders": True, "num_orders_displayed": 5, "get_orders": True},
         "active_orders=True, num_orders_displayed=5"),
        (("-5",), {"num_orders_displayed": -5, "get_orders": True},
         "active_orders=False, num_orders_displayed=-5"),
        (("+1_000",), {"num_orders_displayed": 1000, "get_orders": True},
         "active_orders=False, num_orders_displayed=1000"),
        (("0",), {"num_orders_displayed": 0, "get_orders": True},
         "active_orders=False, num_orders_displayed=0"),
    ])
    def test_accepted_forms(self, bot_module, words, stored, summary):
        library_bot = command(bot_module.orders, *words)
        assert changed(library_bot) == stored
        first, last = library_bot.texts()
        assert unstamped(first) == f"] {list(words)!r}..."
        assert unstamped(last) == f"] Fetching orders ({summary})..."
        # The parameters are in place before the flag goes up.
        assert library_bot.writes[-1] == ("get_orders", True)

    @pytest.mark.parametrize("words", [
        ("x", "y"), ("-a", "x"), ("x",), ("1", "2", "3"), ("-A",), ("-a", "-a"),
        ("1", "2"), ("1__0",), ("_1",), ("1.5",), ("",),
    ])
    def test_malformed_forms_echo_the_words_then_the_doc(self, bot_module, words):
        library_bot = command(bot_module.orders, *words)
        assert library_bot.writes == []
        first, usage = library_bot.texts()
        assert unstamped(first) == f"] {list(words)!r}..."
        assert usage == bot_module.__doc__

    def test_words_are_shown_in_list_notation(self, bot_module):
        library_bot = command(bot_module.orders, "it's", "-a")
        assert unstamped(library_bot.texts()[0]) == """] ["it's", '-a']..."""

    def test_a_form_leaves_what_it_does_not_name(self, bot_module):
        library_bot = FakeLibraryBot(active_orders=True, num_orders_displayed=9)
        command(bot_module.orders, "3", library_bot=library_bot)
        assert (library_bot.active_orders, library_bot.num_orders_displayed) == (True, 3)
        command(bot_module.orders, "-a", library_bot=library_bot)
        assert library_bot.num_orders_displayed == 3
        assert unstamped(library_bot.texts()[-1]) == \
            "] Fetching orders (active_orders=True, num_orders_displayed=3)..."


class TestDeals:
    @pytest.mark.parametrize("words, count", [((), 1), (("3",), 3), ((" 4 ",), 4), (("-2",), -2)])
    def test_accepted(self, bot_module, words, count):
        library_bot = command(bot_module.deals, *words)
        assert library_bot.get_deals is True and library_bot.num_deals_displayed == count
        assert library_bot.writes[-1] == ("get_deals", True)
        (reply,) = library_bot.texts()
        assert unstamped(reply) == f"] Fetching deals (num_deals_displayed={count})..."


class TestCancelOrder:
    def test_stores_id_and_gateway_then_the_flag(self, bot_module):
        library_bot = command(bot_module.cancel_order, "123", "GW")
        assert library_bot.writes == [("cancel_order_id", "123"), ("gateway_name", "GW"),
                                      ("cancel_order", True)]
        (reply,) = library_bot.texts()
        assert unstamped(reply) == "] Canceling order: order_id=123,gateway_name=GW..."


class TestSendOrder:
    @pytest.mark.parametrize("instruction", [
        "EPZ26,1,l,o,l,CQG,5000.25,None", ",,,,,,,", "a,b,c,d,e,f,g,h"])
    def test_exactly_seven_commas_is_accepted(self, bot_module, instruction):
        library_bot = command(bot_module.send_order, instruction)
        assert library_bot.writes == [("order_string", instruction), ("send_order", True)]
        (reply,) = library_bot.texts()
        assert unstamped(reply) == f"] Send order ({instruction})..."


class TestClosePositions:
    def test_gateway_name_is_kept_for_a_later_bare_command(self, bot_module):
        library_bot = command(bot_module.close_positions, "GW")
        assert library_bot.writes == [("close_positions_gateway_name", "GW"),
                                      ("close_positions", True)]
        library_bot.close_positions = False  # the engine clears the flag
        command(bot_module.close_positions, library_bot=library_bot)
        assert library_bot.close_positions is True
        assert library_bot.close_positions_gateway_name == "GW"
        assert [unstamped(t) for t in library_bot.texts()] == ["] Closing positions..."] * 2


@pytest.mark.parametrize("handler, words", [
    ("deals", ("3", "4")), ("deals", ("three",)),
    ("cancel_order", ()), ("cancel_order", ("123",)), ("cancel_order", ("1", "2", "3")),
    # An instruction needs exactly seven commas, in one word.
    ("send_order", ("a,b,c,d,e,f,g",)), ("send_order", ("a,b,c,d,e,f,g,h,i",)),
    ("send_order", ("a,b,c,d", "e,f,g,h")), ("send_order", ()),
    ("close_positions", ("A", "B")),
])
def test_malformed_words_store_nothing_and_get_the_doc(bot_module, handler, words):
    library_bot = command(getattr(bot_module, handler), *words)
    assert library_bot.writes == [] and library_bot.texts() == [bot_module.__doc__]


@pytest.mark.parametrize("handler, attribute, value, reply", [
    ("stop", "corvane_status", "Terminated", "] Terminating Corvane..."),
    ("balance", "get_balance", True, "] Fetching balance..."),
    ("positions", "get_positions", True, "] Fetching positions..."),
    ("cancel_orders", "cancel_orders", True, "] Canceling all active orders..."),
])
def test_commands_without_arguments_ignore_their_words(bot_module, handler, attribute, value,
                                                       reply):
    for words in ((), ("now", "please")):
        library_bot = command(getattr(bot_module, handler), *words, chat_id=7)
        assert library_bot.writes == [(attribute, value)]
        (chat_id, text), = library_bot.sent
        assert chat_id == 7 and unstamped(text) == reply


class TestEcho:
    def test_echoes_the_text_without_time_stamp(self, bot_module):
        library_bot = text_message(bot_module.echo, "hello there", chat_id=5)
        assert library_bot.sent == [(5, "[ECHO] hello there")]
        assert library_bot.writes == []

    @pytest.mark.parametrize("text", [..., None])
    def test_an_update_without_text_is_ignored(self, bot_module, text):
        assert text_message(bot_module.echo, text).sent == []


def test_a_failed_reply_propagates_after_the_flag_is_set(bot_module):
    class Refusing(FakeLibraryBot):
        def send_message(self, chat_id, text):
            raise ConnectionError("network down")

    library_bot = Refusing()
    with pytest.raises(ConnectionError):
        command(bot_module.balance, library_bot=library_bot)
    assert library_bot.get_balance is True


def test_an_update_without_a_chat_raises_after_the_flag_is_set(tmp_path):
    # The chat gate stops such an update; a handler given one must still raise, not abort
    # the process (hence the child).
    run = run_with_bot_module(tmp_path, """
        from types import SimpleNamespace
        from bot_fakes import FakeLibraryBot
        library_bot = FakeLibraryBot()
        update = SimpleNamespace(effective_chat=None, message=None)
        try:
            module.balance(update, SimpleNamespace(bot=library_bot, args=[]))
        except AttributeError:
            print("raised", library_bot.get_balance, library_bot.sent)
        """)
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines()[-1] == "raised True []"


def test_module_doc_lists_every_command_and_the_order_format(bot_module):
    doc = bot_module.__doc__
    for name in ("/stop", "/balance", "/positions", "/orders [-a] [n]", "/deals [n]",
                 "/cancel_order order_id gateway_name", "/cancel_orders",
                 "/close_positions [gateway_name]"):
        assert name in doc
    usage = ("/send_order [parameters] send an order with string instruction:\n"
             "- order_string: str, security_code, quantity, direction(l/s), offset(o/c),\n"
             "                order_type(m/l/s), gateway_name, price(None),\n"
             "                stop_price(None)")
    assert usage in doc
    assert bot_module.send_order.__doc__.endswith(usage)
