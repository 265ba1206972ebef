"""The local Bot API server itself, as any client (not only the library) talks to it."""
import json
import threading
import urllib.error
import urllib.parse
import urllib.request

import pytest

from bot_support import wait_until

pytestmark = pytest.mark.timeout(30)


def call(api, method, data=None, form=False):
    body, kind = (urllib.parse.urlencode(data).encode(), "application/x-www-form-urlencoded") \
        if form else (json.dumps(data or {}).encode(), "application/json")
    request = urllib.request.Request(f"{api.base_url}{api.token}/{method}", data=body,
                                     headers={"Content-Type": kind})
    try:
        with urllib.request.urlopen(request, timeout=10) as answer:
            return json.load(answer)
    except urllib.error.HTTPError as error:
        return json.load(error)


def test_updates_are_confirmed_by_offset_and_sent_messages_recorded(bot_api):
    first = bot_api.send_text("/orders -a", chat_id=5)
    bot_api.send_text("hi", chat_id=5)
    updates = call(bot_api, "getUpdates", {"timeout": 0})["result"]
    assert [u["update_id"] for u in updates] == [first, first + 1]
    assert updates[0]["message"]["entities"] == [{"type": "bot_command", "offset": 0,
                                                  "length": 7}]
    assert "entities" not in updates[1]["message"]
    assert call(bot_api, "getUpdates", {"offset": first + 2})["result"] == []
    answer = call(bot_api, "sendMessage", {"chat_id": "5", "text": "ok"}, form=True)
    assert answer["ok"] and answer["result"]["chat"]["id"] == 5
    assert bot_api.sent() == [{"chat_id": 5, "text": "ok"}]
    assert call(bot_api, "sendMessage", {"chat_id": 5, "text": ""})["error_code"] == 400


def test_stop_ends_a_waiting_long_poll(bot_api):
    bot_api.max_poll_wait = 60
    answers = []
    poll = threading.Thread(target=lambda: answers.append(
        call(bot_api, "getUpdates", {"timeout": 50})))
    poll.start()
    wait_until(lambda: "getUpdates" in bot_api.calls())
    bot_api.stop()
    poll.join()
    assert answers == [{"ok": True, "result": []}]
