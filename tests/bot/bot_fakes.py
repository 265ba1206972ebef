"""Small stand-ins for the library's update, context and bot, for calling the handlers
directly."""
from types import SimpleNamespace

INITIAL_REQUESTS = {
    "corvane_status": "Running",
    "get_balance": False,
    "get_positions": False,
    "get_orders": False,
    "active_orders": False,
    "num_orders_displayed": 1,
    "get_deals": False,
    "num_deals_displayed": 1,
    "cancel_order": False,
    "cancel_order_id": None,
    "gateway_name": None,
    "cancel_orders": False,
    "send_order": False,
    "order_string": "",
    "close_positions": False,
    "close_positions_gateway_name": None,
}


class FakeLibraryBot:
    """Holds the request attributes, and records every write and every sent message."""

    def __init__(self, **requests):
        object.__setattr__(self, "writes", [])
        object.__setattr__(self, "sent", [])
        for name, value in {**INITIAL_REQUESTS, **requests}.items():
            object.__setattr__(self, name, value)

    def __setattr__(self, name, value):
        self.writes.append((name, value))
        object.__setattr__(self, name, value)

    def send_message(self, chat_id, text):
        self.sent.append((chat_id, text))

    def requests(self):
        return {name: getattr(self, name) for name in INITIAL_REQUESTS}

    def texts(self):
        return [text for _, text in self.sent]


def command(handler, *words, chat_id=42, library_bot=None):
    """Calls `handler` as for "/command word ..." in `chat_id`; returns the library bot."""
    library_bot = library_bot or FakeLibraryBot()
    update = SimpleNamespace(effective_chat=SimpleNamespace(id=chat_id),
                             message=SimpleNamespace(text=" ".join(("/x",) + words)))
    handler(update, SimpleNamespace(bot=library_bot, args=list(words)))
    return library_bot


def text_message(handler, text, chat_id=42, library_bot=None):
    library_bot = library_bot or FakeLibraryBot()
    message = None if text is ... else SimpleNamespace(text=text)
    update = SimpleNamespace(effective_chat=SimpleNamespace(id=chat_id), message=message)
    handler(update, SimpleNamespace(bot=library_bot, args=None))
    return library_bot
