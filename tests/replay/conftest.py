"""Fixtures of the replay tests: a gateway over a fresh emulated world, the CQG side's
progress lines kept out of the way."""
import contextlib
import io
import sys

import pytest

if sys.platform == "win32":
    pytest.skip("the emulated platform is installed only where pywin32 is not",
                allow_module_level=True)

import corvane_emulator as emu
from corvane.gateways.cqg.gateway import CqgGateway

from replay_helpers import CL, EP


@pytest.fixture
def quiet():
    """The CQG side's progress lines are not the point here."""
    with contextlib.redirect_stdout(io.StringIO()):
        yield


@pytest.fixture
def gateway(quiet):
    emu.reset()
    emu.load_scenario(instruments=[
        {"full_name": "F.US.EPZ26", "price": 6000.0, "tick_size": 0.25},
        {"full_name": "F.US.CLEF27", "price": 70.0, "tick_size": 0.01}],
        accounts=[{"id": 1001, "name": "SIM-1001"}])
    gw = CqgGateway([EP, CL], history=100_000)
    yield gw
    emu.stop_live()
    gw.close()
    emu.reset()
