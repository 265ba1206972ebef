"""Any words given to any command: the handler stores exactly what the command's rules
say, or stores nothing and replies with the module documentation; it never raises."""
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from bot_fakes import command

pytestmark = pytest.mark.timeout(60)

USAGE = object()  # stands for "nothing stored, the module documentation as the reply"


def as_count(word):
    try:
        return int(word)
    except ValueError:
        return None


def counted(word, count_attribute, flag):
    count = as_count(word)
    return USAGE if count is None else [(count_attribute, count), (flag, True)]


def expected_orders(words):
    flags = [w == "-a" for w in words]
    if len(words) > 2 or (len(words) == 2 and flags[0] == flags[1]):
        return USAGE
    if len(words) == 2:
        stored = counted(words[flags.index(False)], "num_orders_displayed", "get_orders")
        return stored if stored is USAGE else [("active_orders", True)] + stored
    if words == ["-a"]:
        return [("active_orders", True), ("get_orders", True)]
    if words:
        return counted(words[0], "num_orders_displayed", "get_orders")
    return [("get_orders", True)]


def expected_deals(words):
    if len(words) > 1:
        return USAGE
    return counted(words[0], "num_deals_displayed", "get_deals") if words else [("get_deals", True)]


def expected_cancel_order(words):
    if len(words) != 2:
        return USAGE
    return [("cancel_order_id", words[0]), ("gateway_name", words[1]), ("cancel_order", True)]


def expected_send_order(words):
    if len(words) != 1 or words[0].count(",") != 7:
        return USAGE
    return [("order_string", words[0]), ("send_order", True)]


def expected_close_positions(words):
    if len(words) > 1:
        return USAGE
    return [("close_positions_gateway_name", w) for w in words] + [("close_positions", True)]


RULES = {
    "orders": expected_orders,
    "deals": expected_deals,
    "cancel_order": expected_cancel_order,
    "send_order": expected_send_order,
    "close_positions": expected_close_positions,
    "stop": lambda words: [("corvane_status", "Terminated")],
    "balance": lambda words: [("get_balance", True)],
    "positions": lambda words: [("get_positions", True)],
    "cancel_orders": lambda words: [("cancel_orders", True)],
}

# Words as the library makes them: split on white space, so never empty nor holding any.
likely_words = st.sampled_from([
    "-a", "-A", "5", "-3", "+7", "1_000", "1__0", "٣", "0x10", "1.0", "a,b,c,d,e,f,g,h",
    ",,,,,,,", ",,,,,,", ",,,,,,,,", "GW", "\ud800,,,,,,,", "'quoted'", "9" * 30])
any_word = st.text(min_size=1, max_size=12).filter(lambda w: w.split() == [w])
words_lists = st.lists(st.one_of(likely_words, any_word), max_size=4)


@settings(max_examples=150, deadline=None)
@given(handler=st.sampled_from(sorted(RULES)), words=words_lists)
def test_words_are_stored_by_the_rules_or_refused(bot_module, handler, words):
    library_bot = command(getattr(bot_module, handler), *words)
    expected = RULES[handler](words)
    texts = library_bot.texts()
    if expected is USAGE:
        assert library_bot.writes == []
        assert texts[-1] == bot_module.__doc__
    else:
        assert library_bot.writes == expected
        assert bot_module.__doc__ not in texts
    assert len(texts) == (2 if handler == "orders" else 1)
