"""Fixtures of the fault suite: the engine on the real gateway, bridge and GATELINK over the
emulated CQGCEL, with a real store; GATELINK's progress lines kept instead of printed."""
import sqlite3
import sys
from contextlib import closing

import pytest

import corvane_emulator as emu

from stack_support import ACCOUNT, EP


class NoPause:
    @staticmethod
    def sleep(seconds):
        pass


@pytest.fixture
def trace(monkeypatch):
    from corvane.gateways.cqg.wrapper import gatelink
    lines = []
    monkeypatch.setattr(gatelink, "Trace", lines.append)
    monkeypatch.setattr(gatelink, "time", NoPause)  # the account's settling pause
    monkeypatch.setattr(gatelink, "TIMEOUT", 10)
    return lines


@pytest.fixture
def db_dir(tmp_path, monkeypatch):
    (tmp_path / "corvane_config.py").write_text(f"DB = {{'sqlite3': {str(tmp_path)!r}}}\n")
    monkeypatch.syspath_prepend(str(tmp_path))
    sys.modules.pop("corvane_config", None)
    yield tmp_path
    sys.modules.pop("corvane_config", None)


@pytest.fixture
def rows(db_dir):
    """rows(table) -> the table's rows as dicts, read on a connection of its own."""
    def read(table):
        with closing(sqlite3.connect(db_dir / "corvane.db")) as connection:
            connection.row_factory = sqlite3.Row
            return [dict(r) for r in connection.execute(f"SELECT * FROM {table} ORDER BY id")]
    return read


@pytest.fixture
def stack(trace, db_dir):
    """A started engine following EPZ26 and account 1001, its market at 6000/6000.5."""
    from corvane.engine import Engine
    from corvane.gateways.cqg.gateway import CqgGateway
    from corvane.plugins.sqlite3.db import DB
    emu.reset()
    emu.load_scenario(accounts=[{"id": ACCOUNT, "name": f"SIM-{ACCOUNT}"}])
    log = []
    engine = Engine(CqgGateway([EP]), ACCOUNT, db=DB(), log=log.append)
    engine.log_lines = log
    engine.start()
    emu.set_market("EPZ26", 6000.0, 6000.5)
    yield engine
    emu.stop_market()
    engine.close()
    emu.reset()
