"""Fixtures of the engine's tests: stand-ins for the CQG gateway and the bot, and a real
store on a temporary database file."""
import sqlite3
import sys
from contextlib import closing

import pytest

from engine_fakes import FakeBot, FakeGateway


@pytest.fixture
def store(tmp_path, monkeypatch):
    (tmp_path / "corvane_config.py").write_text(f"DB = {{'sqlite3': {str(tmp_path)!r}}}\n")
    monkeypatch.syspath_prepend(str(tmp_path))
    sys.modules.pop("corvane_config", None)
    from corvane.plugins.sqlite3.db import DB
    db = DB()
    yield db
    try:
        db.close()
    except sqlite3.ProgrammingError:
        pass  # the engine closed it
    sys.modules.pop("corvane_config", None)


@pytest.fixture
def rows(tmp_path):
    def read(table):
        with closing(sqlite3.connect(tmp_path / "corvane.db")) as connection:
            connection.row_factory = sqlite3.Row
            return [dict(r) for r in connection.execute(f"SELECT * FROM {table} ORDER BY id")]
    return read


@pytest.fixture
def engine(store):
    from corvane.engine import Engine
    gateway, bot = FakeGateway(), FakeBot()
    engine = Engine(gateway, 1001, db=store, bot=bot, log=lambda line: None)
    engine.start()
    return engine
