"""A scripted chat user who talks to the bot through the local Bot API server during the
session, and a stranger whose commands the bot must ignore.

Each line of the script waits for its replies (the bot's acknowledgement and, for a
request, the engine's answer) before the next is sent, so the transcript pairs every
message with what it brought back.
"""
import re
import threading
import time
from dataclasses import dataclass, field

from corvane.demo.scenario import CHAT_ID, STRANGER_CHAT_ID


@dataclass
class Line:
    text: str                      # may hold {placeholders} filled in when it is sent
    replies: int                   # messages the bot is expected to send back
    chat_id: int = CHAT_ID


@dataclass
class ChatTurn:
    chat_id: int
    sent: str
    replies: list = field(default_factory=list)
    expected: int = 0

    @property
    def answered(self):
        return len(self.replies) >= self.expected


# Acknowledgement + the engine's answer is 2; /orders acknowledges twice; plain text is
# echoed; the stranger gets nothing.
SCRIPT = [
    Line("hello", 1),
    Line("/balance", 2),
    # A lot bought at market from the chat: whatever the walk does, the session fills
    # orders, and /close_positions sells it again at the end.
    Line("/send_order {code},1,l,o,m,CQG,None,None", 2),
    Line("/positions", 2),
    Line("/orders 5", 3),
    Line("/send_order {code},1,l,o,l,CQG,{resting_price},None", 2),
    Line("/orders -a", 3),
    Line("/cancel_order {last_order_id} CQG", 2),
    Line("/deals 3", 2),
    Line("/close_positions", 0, chat_id=STRANGER_CHAT_ID),
    Line("/cancel_orders", 2),
    Line("/close_positions", 2),
    Line("/stop", 2),
]

_ORDER_ID = re.compile(r"Order placed: (\S+)")


class ChatUser:
    """Runs SCRIPT on a thread of its own over `duration` seconds; the last line (/stop)
    goes out at the end. `facts()` gives the values for the placeholders."""

    def __init__(self, api, duration, facts, reply_patience=10.0):
        self.api = api
        self.duration = duration
        self.facts = facts
        self.reply_patience = reply_patience
        self.transcript: list[ChatTurn] = []
        self._quit = threading.Event()
        self._thread = threading.Thread(target=self._run, name="demo-chat-user")

    def start(self):
        self._thread.start()
        return self

    def stop(self):
        self._quit.set()
        if self._thread.ident is not None:  # started
            self._thread.join()

    def _run(self):
        gap = self.duration / len(SCRIPT)
        began = time.monotonic()
        for number, line in enumerate(SCRIPT, 1):
            if self._quit.wait(max(0.0, began + number * gap - time.monotonic())):
                return
            self._say(line)

    def _say(self, line):
        values = dict(self.facts())
        values["last_order_id"] = self._last_order_id()
        text = line.text.format(**values)
        before = len(self.api.sent())
        turn = ChatTurn(line.chat_id, text, expected=line.replies)
        self.transcript.append(turn)
        self.api.send_text(text, chat_id=line.chat_id)
        patience = self.reply_patience if line.replies else 0.5  # nothing should come
        deadline = time.monotonic() + patience
        while not self._quit.is_set() and time.monotonic() < deadline:
            turn.replies = self._replies_to(line.chat_id, before)
            if line.replies and turn.answered:
                break
            time.sleep(0.02)
        turn.replies = self._replies_to(line.chat_id, before)

    def _replies_to(self, chat_id, before):
        return [m["text"] for m in self.api.sent()[before:] if m["chat_id"] == chat_id]

    def _last_order_id(self):
        for turn in reversed(self.transcript):
            for reply in turn.replies:
                found = _ORDER_ID.search(reply)
                if found:
                    return found.group(1)
        return "none"

    def unanswered(self):
        """The lines whose replies did not all come."""
        return [turn for turn in self.transcript if not turn.answered]
