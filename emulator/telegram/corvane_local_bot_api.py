"""A local stand-in for Telegram's Bot API, for tests and the demo.

It serves the Bot API methods that the bot plug-in's library uses (getMe,
deleteWebhook, getUpdates with long polling, offsets and time-outs, sendMessage) on
127.0.0.1 at a free port, and has a control side: queue a text message as if a user had
written it in a chat, and read or wait for what the bot sent.

    with LocalBotApi() as api:
        # corvane_config.TELEGRAM_BASE_URL = api.base_url
        api.send_text("/balance", chat_id=42)
        reply = api.wait_for_sent(1)[0]

A long poll is held for at most ``max_poll_wait`` seconds (Telegram too may answer before
the client's time-out), so a client that stops polling is let go promptly; ``stop()``
also ends every poll still waiting.
"""

from __future__ import annotations

import json
import re
import socket
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

BOT_USER = {
    "id": 777000111,
    "is_bot": True,
    "first_name": "Corvane test bot",
    "username": "corvane_test_bot",
    "can_join_groups": True,
    "can_read_all_group_messages": False,
    "supports_inline_queries": False,
}

# A bot command at the start of a message, as Telegram marks it with an entity.
_COMMAND_AT_START = re.compile(r"/[A-Za-z0-9_]{1,64}(@[A-Za-z0-9_]{3,64})?")


class BotApiError(Exception):
    """A request the Bot API refuses: answered with ok=false and this code."""

    def __init__(self, code: int, description: str):
        super().__init__(description)
        self.code = code
        self.description = description


class LocalBotApi:
    """The server and its control side. Thread-safe; start() and stop() it once."""

    def __init__(self, token: str = "123456:local-test-token", max_poll_wait: float = 0.5):
        self.token = token
        self.max_poll_wait = max_poll_wait
        self._lock = threading.Condition()
        self._updates: list[dict] = []  # not yet confirmed by an offset past them
        self._next_update_id = 1
        self._next_message_id = 1
        self._sent: list[dict] = []
        self._calls: list[str] = []
        self._stopping = False
        self._requests_in_flight = 0
        self._httpd: ThreadingHTTPServer | None = None
        self._serve_thread: threading.Thread | None = None
        self._connections: set = set()

    # ----- life cycle -------------------------------------------------------------------

    def start(self) -> "LocalBotApi":
        api = self

        class Handler(_RequestHandler):
            server_api = api

        self._httpd = _Server(("127.0.0.1", 0), Handler, self)
        self._serve_thread = threading.Thread(
            target=self._httpd.serve_forever, kwargs={"poll_interval": 0.05},
            name="local-bot-api-server", daemon=True,
        )
        self._serve_thread.start()
        return self

    def stop(self) -> None:
        """Ends every waiting poll, closes the connections and stops serving."""
        with self._lock:
            self._stopping = True
            self._lock.notify_all()
            # Let every request (a waiting poll, say) be answered before the connections close.
            self._lock.wait_for(lambda: self._requests_in_flight == 0, timeout=5)
        if self._httpd is None:
            return
        self._httpd.shutdown()
        self._httpd.close_connections()
        self._httpd.server_close()
        self._serve_thread.join()
        self._httpd = None

    def __enter__(self) -> "LocalBotApi":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()

    @property
    def port(self) -> int:
        return self._httpd.server_address[1]

    @property
    def base_url(self) -> str:
        """The library's base URL: the token and the method name are appended to it."""
        return f"http://127.0.0.1:{self.port}/bot"

    # ----- control side -----------------------------------------------------------------

    def send_text(self, text: str, chat_id: int, user_id: int | None = None,
                  edited: bool = False) -> int:
        """Queues a text message written by `user_id` (default: the chat's id, as in a
        private chat) in `chat_id`; returns its update id. With `edited` it arrives as an
        edited message."""
        user_id = chat_id if user_id is None else user_id
        message = {
            "message_id": self._take_message_id(),
            "from": {"id": user_id, "is_bot": False, "first_name": f"User {user_id}"},
            "chat": {"id": chat_id, "type": "private" if chat_id == user_id else "group"},
            "date": int(time.time()),
            "text": text,
        }
        command = _COMMAND_AT_START.match(text)
        if command:
            message["entities"] = [
                {"type": "bot_command", "offset": 0, "length": command.end()}
            ]
        if edited:
            message["edit_date"] = int(time.time())
        return self.send_update({"edited_message" if edited else "message": message})

    def send_update(self, body: dict) -> int:
        """Queues a raw update (its update id is added); returns the update id."""
        with self._lock:
            update = {"update_id": self._next_update_id, **body}
            self._next_update_id += 1
            self._updates.append(update)
            self._lock.notify_all()
            return update["update_id"]

    def forget(self) -> None:
        """Forgets the messages sent and the calls made so far (a long run keeps no history)."""
        with self._lock:
            self._sent.clear()
            self._calls.clear()

    def sent(self) -> list[dict]:
        """The messages the bot sent so far, oldest first: dicts with chat_id and text."""
        with self._lock:
            return [dict(m) for m in self._sent]

    def wait_for_sent(self, count: int, timeout: float = 10.0) -> list[dict]:
        """Waits until the bot has sent at least `count` messages; returns them all."""
        with self._lock:
            if not self._lock.wait_for(lambda: len(self._sent) >= count, timeout):
                raise TimeoutError(
                    f"the bot sent {len(self._sent)} messages, expected {count}: {self._sent}"
                )
            return [dict(m) for m in self._sent]

    def calls(self) -> list[str]:
        """The Bot API methods called so far, in order."""
        with self._lock:
            return list(self._calls)

    def pending_updates(self) -> int:
        """How many updates no client has confirmed yet."""
        with self._lock:
            return len(self._updates)

    # ----- the Bot API ------------------------------------------------------------------

    def _request_started(self) -> None:
        with self._lock:
            self._requests_in_flight += 1

    def _request_answered(self) -> None:
        with self._lock:
            self._requests_in_flight -= 1
            self._lock.notify_all()

    def call(self, method: str, params: dict):
        """Runs one Bot API method; returns its result or raises BotApiError."""
        with self._lock:
            self._calls.append(method)
        handler = {
            "getme": self._get_me,
            "deletewebhook": self._delete_webhook,
            "getupdates": self._get_updates,
            "sendmessage": self._send_message,
        }.get(method.lower())
        if handler is None:
            raise BotApiError(404, "Not Found")
        return handler(params)

    def _get_me(self, params: dict) -> dict:
        return dict(BOT_USER)

    def _delete_webhook(self, params: dict) -> bool:
        if _as_bool(params.get("drop_pending_updates")):
            with self._lock:
                self._updates.clear()
        return True

    def _get_updates(self, params: dict) -> list[dict]:
        offset = _as_int(params.get("offset"), "offset")
        limit = _as_int(params.get("limit"), "limit") or 100
        wait = min(_as_int(params.get("timeout"), "timeout") or 0, self.max_poll_wait)
        deadline = time.monotonic() + wait
        with self._lock:
            if offset is not None:
                # An offset confirms every update before it.
                self._updates = [u for u in self._updates if u["update_id"] >= offset]
            while not self._updates and not self._stopping:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    break
                self._lock.wait(remaining)
            return [dict(u) for u in self._updates[:limit]]

    def _send_message(self, params: dict) -> dict:
        chat_id = _as_int(params.get("chat_id"), "chat_id", refusal="Bad Request: chat not found")
        text = params.get("text")
        if chat_id is None:
            raise BotApiError(400, "Bad Request: chat_id is empty")
        if not text:
            raise BotApiError(400, "Bad Request: message text is empty")
        message = {
            "message_id": self._take_message_id(),
            "from": dict(BOT_USER),
            "chat": {"id": chat_id, "type": "private"},
            "date": int(time.time()),
            "text": text,
        }
        with self._lock:
            self._sent.append({"chat_id": chat_id, "text": text})
            self._lock.notify_all()
        return message

    def _take_message_id(self) -> int:
        with self._lock:
            message_id = self._next_message_id
            self._next_message_id += 1
            return message_id


def _as_int(value, name: str, refusal: str | None = None) -> int | None:
    if value is None or value == "":
        return None
    try:
        return int(float(value)) if name == "timeout" else int(value)
    except (TypeError, ValueError):
        raise BotApiError(400, refusal or f"Bad Request: wrong parameter {name}") from None


def _as_bool(value) -> bool:
    return value in (True, "true", "True", "1", 1)


class _Server(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, handler, api: LocalBotApi):
        self.api = api
        self._open: set = set()
        self._connection_threads: list[threading.Thread] = []
        self._open_lock = threading.Lock()
        super().__init__(address, handler)

    def process_request(self, request, client_address):
        thread = threading.Thread(
            target=self.process_request_thread, args=(request, client_address),
            name="local-bot-api-connection", daemon=True,
        )
        with self._open_lock:
            self._open.add(request)
            self._connection_threads = [t for t in self._connection_threads if t.is_alive()] + [thread]
        thread.start()

    def shutdown_request(self, request):
        with self._open_lock:
            self._open.discard(request)
        super().shutdown_request(request)

    def close_connections(self) -> None:
        """Ends the kept-alive connections and waits for their threads."""
        with self._open_lock:
            open_now = list(self._open)
            threads = list(self._connection_threads)
        for request in open_now:
            try:
                request.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        for thread in threads:
            thread.join(timeout=5)


class _RequestHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out as two writes: with Nagle's algorithm the body would wait for
    # the client's delayed acknowledgement, some 40 ms per answer.
    disable_nagle_algorithm = True
    server_api: LocalBotApi

    def do_POST(self):
        self._handle()

    def do_GET(self):
        self._handle()

    def log_message(self, format, *args):  # the tests read the calls, not a log
        pass

    def _handle(self):
        self.server_api._request_started()
        try:
            self._answer_request()
        finally:
            self.server_api._request_answered()

    def _answer_request(self):
        api = self.server_api
        url = urllib.parse.urlsplit(self.path)
        prefix = f"/bot{api.token}/"
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        if not url.path.startswith(prefix):
            return self._answer(401, {"ok": False, "error_code": 401,
                                      "description": "Unauthorized"})
        method = url.path[len(prefix):]
        try:
            params = dict(urllib.parse.parse_qsl(url.query))
            params.update(_parse_body(self.headers.get("Content-Type", ""), body))
            result = api.call(method, params)
        except BotApiError as error:
            return self._answer(error.code, {"ok": False, "error_code": error.code,
                                             "description": error.description})
        self._answer(200, {"ok": True, "result": result})

    def _answer(self, status: int, payload: dict):
        data = json.dumps(payload).encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


def _parse_body(content_type: str, body: bytes) -> dict:
    """The parameters of a JSON or form-encoded body (the two ways clients send them)."""
    if not body:
        return {}
    kind = content_type.split(";")[0].strip().lower()
    try:
        if kind == "application/json":
            parsed = json.loads(body.decode("utf-8"))
            if not isinstance(parsed, dict):
                raise ValueError("not an object")
            return parsed
        if kind == "application/x-www-form-urlencoded":
            return dict(urllib.parse.parse_qsl(body.decode("utf-8"), keep_blank_values=True))
    except ValueError:
        raise BotApiError(400, "Bad Request: can't parse request body") from None
    raise BotApiError(400, f"Bad Request: unsupported content type {kind!r}")
