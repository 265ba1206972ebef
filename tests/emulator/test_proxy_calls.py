"""Calls through a marshaled proxy run on the owner's pump and carry results and errors back."""
import threading

import pytest

import corvane_emulator as emu
import pythoncom
import win32com.client
from win32com.client import constants

from emulator_helpers import wait_until

pytestmark = pytest.mark.timeout(20)


def test_property_sets_and_calls_run_on_the_owner_thread(owner_thread):
    owner = owner_thread()
    cel = owner.proxy()
    cel.APIConfiguration.ReadyStatusCheck = 0
    cel.APIConfiguration.TimeZoneCode = constants.tzChina
    cel.Shutdown()

    assert emu.configuration_log() == [("ReadyStatusCheck", 0), ("TimeZoneCode", constants.tzChina)]
    assert emu.cel_calls() == ["Shutdown"]
    assert set(emu.configuration_threads() + emu.cel_call_threads()) == {owner.ident}
    assert cel.APIConfiguration.TimeZoneCode == constants.tzChina


def test_a_call_waits_in_the_owner_queue_until_the_owner_pumps(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    stream = pythoncom.CoMarshalInterThreadInterfaceInStream(pythoncom.IID_IDispatch, cel)
    results = []

    def caller():
        pythoncom.CoInitialize()
        proxy = win32com.client.Dispatch(
            pythoncom.CoGetInterfaceAndReleaseStream(stream, pythoncom.IID_IDispatch))
        results.append(proxy.APIConfiguration.UseOrderSide)

    thread = threading.Thread(target=caller, daemon=True)
    thread.start()
    assert wait_until(lambda: emu.waiting_message_count(apartment) == 1)
    assert results == []  # nothing runs before this thread pumps
    while thread.is_alive():
        pythoncom.PumpWaitingMessages()
        thread.join(0.01)
    assert results == [False]


def test_errors_raised_on_the_owner_reach_the_caller(owner_thread):
    cel = owner_thread().proxy()
    with pytest.raises(pythoncom.com_error) as raised:
        cel.APIConfiguration.TimeZoneCode = 123456
    assert raised.value.hresult == -2147352567
    assert raised.value.excepinfo[2] == "Invalid time zone code"

    with pytest.raises(TypeError, match=r"^Startup\(\) takes 1 positional argument but 2"):
        cel.Startup(1)  # refused by the generated method before anything is sent
    assert emu.cel_calls() == []

    with pytest.raises(pythoncom.com_error):
        cel.APIConfiguration.UseOrderSide = "yes"
    assert emu.configuration_log() == []

    with pytest.raises(AttributeError):
        cel.NoSuchMember
    with pytest.raises(AttributeError):
        cel.Startup = 1


def test_late_bound_names_match_without_regard_to_case(late_bound, owner_thread):
    cel = owner_thread().proxy()
    cel.apiconfiguration.readystatuscheck = 0
    cel.APICONFIGURATION.UseOrderSide = True
    assert cel.ApiConfiguration.useorderside is True
    cel.shutdown()
    assert emu.configuration_log() == [("ReadyStatusCheck", 0), ("UseOrderSide", True)]
    assert emu.cel_calls() == ["Shutdown"]


@pytest.mark.parametrize("dispatch", ["generated", "late-bound"])
def test_python_attributes_of_a_wrapper_sit_beside_its_member_names(owner_thread, dispatch):
    emu.load_scenario(dispatch=dispatch)
    cel = owner_thread().proxy()
    configuration = cel.APIConfiguration
    assert isinstance(configuration._oleobj_, type(cel._oleobj_))
    expected = "CDispatch" if dispatch == "late-bound" else "APIConfiguration"
    assert type(configuration).__name__ == expected
    assert getattr(configuration, "_no_such_attribute", "absent") == "absent"
    assert not hasattr(configuration, "NoSuchMember")
    assert hasattr(configuration, "readystatuscheck") == (dispatch == "late-bound")
    assert callable(cel.Shutdown) and not callable(configuration.ReadyStatusCheck)


def test_objects_handed_out_are_bound_to_the_receiving_thread(owner_thread):
    cel = owner_thread().proxy()
    configuration = cel.APIConfiguration
    errors = []

    def use_elsewhere():
        try:
            configuration.UseOrderSide = True
        except pythoncom.com_error as error:
            errors.append(error.hresult)

    worker = threading.Thread(target=use_elsewhere)
    worker.start()
    worker.join(5)
    assert errors == [-2147417842]  # marshalled for a different thread
    assert emu.configuration_log() == []


def test_the_owner_leaving_its_apartment_disconnects_the_proxy(owner_thread):
    owner = owner_thread()
    cel = owner.proxy()
    owner.stop()
    with pytest.raises(pythoncom.com_error) as raised:
        cel.Shutdown()
    assert raised.value.hresult == -2147417848


@pytest.mark.parametrize("leaves_apartment, hresult", [
    (True, -2147417848),   # the owner left its apartment: the object disconnected
    (False, -2147418094),  # the owner thread ended inside it: the callee disappeared
])
def test_a_call_queued_to_an_owner_that_goes_away_fails(owner_thread, leaves_apartment, hresult):
    owner = owner_thread(pump=False, leave_apartment=leaves_apartment)
    cel = owner.proxy()

    # The proxy belongs to this thread, so a helper ends the owner while this thread waits.
    ender = threading.Thread(target=lambda: (
        wait_until(lambda: emu.waiting_message_count(owner.ident) == 1), owner.release.set()))
    ender.start()
    with pytest.raises(pythoncom.com_error) as raised:
        cel.Shutdown()
    ender.join(5)
    assert raised.value.hresult == hresult
    assert emu.cel_calls() == []
