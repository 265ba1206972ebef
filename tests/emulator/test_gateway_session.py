"""GWLogon / GWLogoff and the gateway's connection changes reach the sinks as events."""
import pytest

import corvane_emulator as emu
import pythoncom
import win32com.client
from win32com.client import constants

from emulator_helpers import wait_until

pytestmark = pytest.mark.timeout(20)


class SessionSink:
    def __init__(self):
        self.seen = []

    def OnGWConnectionStatusChanged(self, connectionStatus):
        self.seen.append(("gw", connectionStatus))

    def OnDataConnectionStatusChanged(self, newStatus):
        self.seen.append(("data", newStatus))

    def OnDataError(self, cqgError, errorDescription):
        if cqgError is None:
            self.seen.append(("error", None, errorDescription))
        else:
            error = win32com.client.Dispatch(cqgError)
            self.seen.append(("error", error.Code, error.Description))


@pytest.fixture
def session(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, SessionSink)

    def pumped():
        pythoncom.PumpWaitingMessages()
        return sink.seen

    return cel, pumped


def test_logon_and_logoff_are_answered_by_connection_status(session):
    cel, pumped = session
    cel.GWLogon("trader", "secret")
    assert pumped() == [("gw", constants.csConnectionUp)]
    cel.GWLogoff()
    assert pumped()[1:] == [("gw", constants.csConnectionDown)]
    assert emu.cel_call_args() == [("GWLogon", ("trader", "secret")), ("GWLogoff", ())]
    assert emu.cel_calls() == ["GWLogon", "GWLogoff"]


def test_a_rejected_logon_is_a_data_error_and_never_up(session):
    cel, pumped = session
    cel.GWLogon("trader", "wrong")
    cel.GWLogon("someone", "secret")
    seen = pumped()
    assert [entry[0] for entry in seen] == ["error", "error"]
    assert all(isinstance(code, int) and description for _, code, description in seen)


def test_credentials_come_from_the_scenario(apartment):
    emu.load_scenario(gw_user="alice", gw_password="pw")
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, SessionSink)
    cel.GWLogon("trader", "secret")
    cel.GWLogon("alice", "pw")
    pythoncom.PumpWaitingMessages()
    assert [entry[0] for entry in sink.seen] == ["error", "gw"]


@pytest.mark.parametrize("switch, request_call", [
    ("logon", lambda cel: cel.GWLogon("trader", "secret")),
    ("logoff", lambda cel: cel.GWLogoff()),
])
def test_a_gateway_that_never_answers(apartment, switch, request_call):
    emu.load_scenario(**{switch: "never"})
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, SessionSink)
    request_call(cel)
    emu.advance(3600)
    pythoncom.PumpWaitingMessages()
    assert sink.seen == []
    assert emu.cel_calls() == [switch.replace("log", "GWLog")]


def test_wrong_argument_counts_and_types_are_com_errors(session):
    cel, pumped = session
    with pytest.raises(pythoncom.com_error) as raised:
        cel.GWLogon("trader")
    assert raised.value.hresult == -2147352561  # a required parameter left out
    with pytest.raises(pythoncom.com_error):
        cel.GWLogon(None, "secret")
    with pytest.raises(TypeError, match="takes 1 positional argument but 2"):
        cel.GWLogoff(1)
    assert pumped() == []
    assert emu.cel_calls() == []


def test_connection_changes_and_data_errors_at_any_moment(session):
    cel, pumped = session
    emu.drop_gateway()
    emu.restore_gateway()
    emu.set_data_connection(constants.csConnectionDown)
    emu.data_error(42, "feed lost")
    emu.data_error(43, "no object", with_object=False)
    assert pumped() == [
        ("gw", constants.csConnectionDown), ("gw", constants.csConnectionUp),
        ("data", constants.csConnectionDown), ("error", 42, "feed lost"),
        ("error", None, "no object"),
    ]


def test_the_scenario_refuses_unknown_answers():
    with pytest.raises(ValueError):
        emu.load_scenario(logon="sometimes")
    with pytest.raises(ValueError):
        emu.load_scenario(accounts_reload="")


def test_logon_through_a_proxy_is_answered_on_the_owner_thread(owner_thread):
    owner = owner_thread(sink_class=SessionSink)
    cel = owner.proxy()
    cel.GWLogon("trader", "secret")
    assert wait_until(lambda: owner.sink.seen)
    cel.GWLogoff()
    assert wait_until(lambda: len(owner.sink.seen) == 2)
    assert owner.sink.seen == [("gw", constants.csConnectionUp),
                               ("gw", constants.csConnectionDown)]
    assert set(emu.cel_call_threads()) == {owner.ident}
