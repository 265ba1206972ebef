"""What the bot tests share besides fixtures: the bot module imported afresh against a local
Bot API server, and waiting for what another thread brings about."""
import contextlib
import importlib
import sys
import threading
import time

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
