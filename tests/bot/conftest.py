"""Fixtures of the bot plug-in's tests: a local Bot API server, and the bot module
imported afresh against it with a corvane_config written for the test."""
import contextlib
import importlib
import sys
import threading
import time

import pytest

from corvane._testing.local_bot_api import LocalBotApi

BOT_MODULE = "corvane.plugins.telegram.bot"
AUTHORISED_CHAT = 42


def _forget_bot_module():
    sys.modules.pop(BOT_MODULE, None)
    sys.modules.pop("corvane_config", None)


@contextlib.contextmanager
def bot_module_against(api, config_dir, chat_id=AUTHORISED_CHAT, **settings):
    """Imports the bot module afresh with a corvane_config pointing at `api`; closes its
    bot afterwards. `settings` may replace or (with the value ...) leave out names."""
    names = {
        "TELEGRAM_TOKEN": api.token,
        "TELEGRAM_CHAT_ID": chat_id,
        "TELEGRAM_BASE_URL": api.base_url,
    }
    names.update(settings)
    lines = [f"{name} = {value!r}" for name, value in names.items() if value is not ...]
    (config_dir / "corvane_config.py").write_text("\n".join(lines) + "\n")
    sys.path.insert(0, str(config_dir))
    importlib.invalidate_caches()
    _forget_bot_module()
    try:
        module = importlib.import_module(BOT_MODULE)
    finally:
        sys.path.remove(str(config_dir))
        _forget_bot_module()
    try:
        yield module
    finally:
        module.bot.close()


@pytest.fixture
def bot_api():
    with LocalBotApi() as api:
        yield api


@pytest.fixture
def import_bot(bot_api, tmp_path):
    """import_bot(chat_id=..., **settings) -> a freshly imported bot module."""
    with contextlib.ExitStack() as stack:
        count = iter(range(1000))

        def load(chat_id=AUTHORISED_CHAT, **settings):
            folder = tmp_path / f"config{next(count)}"
            folder.mkdir()
            return stack.enter_context(bot_module_against(bot_api, folder, chat_id, **settings))

        yield load


@pytest.fixture(scope="module")
def bot_module(tmp_path_factory):
    """One bot module for tests that only call its functions and classes; it polls a
    server of its own so that it never takes another test's updates."""
    with LocalBotApi() as api:
        with bot_module_against(api, tmp_path_factory.mktemp("config")) as module:
            module.test_api = api
            yield module


def wait_until(condition, timeout=10.0):
    """Waits for a condition another thread brings about (never asserts on time)."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise TimeoutError("condition not met")
        time.sleep(0.01)


def library_threads(before):
    """Threads started since `before`, other than the local server's own."""
    return [t for t in threading.enumerate()
            if t not in before and not t.name.startswith("local-bot-api")]
