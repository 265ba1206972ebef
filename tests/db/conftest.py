"""Fixtures for the record store: a configuration module on sys.path and a DB on a real
database file in a temporary directory."""
import sqlite3
import sys
from contextlib import closing

import pytest


@pytest.fixture
def write_config(tmp_path, monkeypatch):
    """Writes corvane_config.py with the given source and makes it the one imported next."""
    config_dir = tmp_path / "config"
    config_dir.mkdir()
    monkeypatch.syspath_prepend(str(config_dir))

    def write(source):
        (config_dir / "corvane_config.py").write_text(source)
        sys.modules.pop("corvane_config", None)

    yield write
    sys.modules.pop("corvane_config", None)


@pytest.fixture
def db_dir(tmp_path, write_config):
    """A database directory named by the configuration."""
    directory = tmp_path / "data"
    directory.mkdir()
    write_config(f"DB = {{'sqlite3': {str(directory)!r}}}\n")
    return directory


@pytest.fixture
def db_module():
    from corvane.plugins.sqlite3 import db

    return db


@pytest.fixture
def store(db_module, db_dir):
    store = db_module.DB()
    yield store
    try:
        store.close()
    except sqlite3.ProgrammingError:
        pass  # the test closed it already


@pytest.fixture
def read_file(db_dir):
    """Runs a query on the database file through a plain sqlite3 connection of its own."""

    def read(sql, parameters=()):
        with closing(sqlite3.connect(db_dir / "corvane.db")) as connection:
            return connection.execute(sql, parameters).fetchall()

    return read
