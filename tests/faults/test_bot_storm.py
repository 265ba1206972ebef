"""A burst of chat commands through the real library and the local Bot API server: every
request of the authorised chat is stored and answered in turn, and nothing a stranger sends
is ever stored or answered."""
import re
import sys
import threading
from pathlib import Path

import pytest

from corvane_local_bot_api import LocalBotApi

sys.path.insert(0, str(Path(__file__).parent.parent / "bot"))
from bot_support import AUTHORISED_CHAT, bot_module_against, wait_until  # noqa: E402

pytestmark = pytest.mark.timeout(120)

BURST = 1000
STRANGERS = ((99, 99), (-1001, AUTHORISED_CHAT))  # (chat, user): another user; a group chat


def command(n, tag):
    kind = n % 3
    if kind == 0:
        return f"/deals {n}", ("num_deals_displayed", n)
    if kind == 1:
        return f"/cancel_order {tag}{n} CQG", ("cancel_order_id", f"{tag}{n}")
    order = f"EPZ26,{n},l,o,m,CQG,None,None{tag}"
    return f"/send_order {order}", ("order_string", order)


def test_a_command_storm_from_the_chat_and_strangers(tmp_path):
    with LocalBotApi() as api, bot_module_against(api, tmp_path) as module:
        bot = module.bot
        seen, stop = set(), threading.Event()

        def watch():  # what the engine would read meanwhile
            while not stop.is_set():
                seen.update((bot.num_deals_displayed, bot.cancel_order_id, bot.order_string))

        watcher = threading.Thread(target=watch)
        watcher.start()
        ours = []
        try:
            for n in range(BURST):
                if n % 2 == 0:
                    text, stored = command(n, "A")
                    api.send_text(text, chat_id=AUTHORISED_CHAT)
                    ours.append((n, stored))
                else:
                    chat, user = STRANGERS[n % 4 // 2]
                    api.send_text(command(n + 100_000, "S")[0], chat_id=chat, user_id=user)
            api.send_text("/positions", chat_id=AUTHORISED_CHAT)  # handled after the rest
            wait_until(lambda: any("Fetching positions" in m["text"] for m in api.sent()),
                       timeout=60)
        finally:
            stop.set()
            watcher.join()
        sent = api.sent()

    assert {m["chat_id"] for m in sent} == {AUTHORISED_CHAT}
    texts = "\n".join(m["text"].split("] ", 1)[-1] for m in sent)  # without time stamps
    assert not re.search(r"\b1\d{5}\b|S\d", texts), "a stranger's command was answered"
    assert not any(re.search(r"S\d|^1\d{5}$", str(value)) for value in seen
                   if value is not None), "a stranger's request was stored"
    for n, (name, value) in ours:  # each authorised request was taken in turn
        assert str(value) in texts, (name, value)
    last = {name: value for _, (name, value) in ours}
    assert {name: getattr(bot, name) for name in last} == last
    assert bot.get_deals and bot.cancel_order and bot.send_order
