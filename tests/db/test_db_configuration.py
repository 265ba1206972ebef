"""Where the database lives: corvane_config.DB["sqlite3"], read when a DB is created."""
import sqlite3

import pytest

MESSAGE = (
    "`sqlite3` is activated, and its path must be specified in `DB` variable in corvane_config"
)


@pytest.mark.parametrize(
    "source, cause",
    [
        (None, ModuleNotFoundError),  # no configuration module at all
        ("TELEGRAM_TOKEN = 'x'\n", AttributeError),  # no DB mapping
        ("DB = {'mysql': '/tmp'}\n", KeyError),  # no "sqlite3" entry
        ("DB = {'sqlite3': 42}\n", TypeError),  # not text
        ("DB = ['sqlite3']\n", TypeError),  # not a mapping
        ("raise RuntimeError('broken config')\n", RuntimeError),  # fails on import
        ("DB = {'sqlite3': ''}\n", ValueError),  # empty: would be the file system's root
    ],
)
def test_configuration_error_names_what_to_set_and_keeps_its_cause(
    db_module, write_config, source, cause
):
    if source is not None:
        write_config(source)
    for call in (db_module._db_path, db_module.DB):
        with pytest.raises(ValueError) as raised:
            call()
        assert str(raised.value) == MESSAGE
        assert isinstance(raised.value.__cause__, cause)
    if source == "DB = {'sqlite3': ''}\n":
        assert str(raised.value.__cause__) == 'corvane_config.DB["sqlite3"] is an empty path'


def test_configured_directory_holds_corvane_db(db_module, db_dir, read_file):
    assert db_module._db_path() == str(db_dir)
    store = db_module.DB()
    store.close()
    assert (db_dir / "corvane.db").is_file()
    assert {name for (name,) in read_file("SELECT name FROM sqlite_master WHERE type='table'")} >= {
        "balance", "position", "trading_order", "trading_deal"}


def test_configuration_is_read_when_each_db_is_created(db_module, write_config, tmp_path):
    first, second = tmp_path / "first", tmp_path / "second"
    first.mkdir(), second.mkdir()
    write_config(f"DB = {{'sqlite3': {str(first)!r}}}\n")
    db_module.DB().close()
    write_config(f"DB = {{'sqlite3': {str(second)!r}}}\n")
    db_module.DB().close()
    assert (first / "corvane.db").is_file() and (second / "corvane.db").is_file()


def test_a_none_directory_fails_with_the_sqlite3_error(
    db_module, write_config, tmp_path, monkeypatch
):
    monkeypatch.chdir(tmp_path)  # where a folder named "None" cannot exist
    write_config("DB = {'sqlite3': None}\n")
    assert db_module._db_path() is None
    with pytest.raises(sqlite3.OperationalError):
        db_module.DB()  # "None/corvane.db" cannot be opened
