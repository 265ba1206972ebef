"""Fixtures of the bot plug-in's tests: a local Bot API server, and the bot module
imported afresh against it with a corvane_config written for the test."""
import contextlib

import pytest

from bot_support import AUTHORISED_CHAT, bot_module_against
from corvane_local_bot_api import LocalBotApi


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
