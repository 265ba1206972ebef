"""Marshaling streams, interface identifiers and Dispatch."""
import threading

import pytest

import corvane_emulator as emu
import pythoncom
import win32com.client

pytestmark = pytest.mark.timeout(20)


def test_a_stream_unmarshals_once(owner_thread):
    owner = owner_thread()
    cel = owner.proxy()
    assert repr(cel).startswith("<win32com.gen_py.CQGCEL 4.0 Type Library.CQGCEL instance at 0x")
    with pytest.raises(pythoncom.com_error):
        pythoncom.CoGetInterfaceAndReleaseStream(owner.stream, pythoncom.IID_IDispatch)
    cel.Shutdown()  # the first proxy still works
    assert emu.cel_calls() == ["Shutdown"]


def test_unmarshaling_on_the_owner_thread_gives_the_object_itself(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    stream = pythoncom.CoMarshalInterThreadInterfaceInStream(pythoncom.IID_IDispatch, cel)
    again = win32com.client.Dispatch(
        pythoncom.CoGetInterfaceAndReleaseStream(stream, pythoncom.IID_IDispatch))
    assert again == cel
    again.Startup()
    assert emu.cel_calls() == ["Startup"]
    assert emu.waiting_message_count(apartment) == 0  # ran at once, no queue involved


def test_marshaling_checks_interface_and_object(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    other_iid = pythoncom.IID("{00000001-0000-0000-C000-000000000046}")
    with pytest.raises(pythoncom.com_error):
        pythoncom.CoMarshalInterThreadInterfaceInStream(other_iid, cel)
    with pytest.raises(TypeError):
        pythoncom.CoMarshalInterThreadInterfaceInStream(pythoncom.IID_IDispatch, object())
    stream = pythoncom.CoMarshalInterThreadInterfaceInStream(pythoncom.IID_IDispatch, cel._oleobj_)
    with pytest.raises(pythoncom.com_error):
        pythoncom.CoGetInterfaceAndReleaseStream(stream, other_iid)


def test_creating_cqgcel_needs_an_apartment_and_can_be_made_to_fail(apartment):
    failures = []

    def outside_any_apartment():
        try:
            win32com.client.Dispatch("CQG.CQGCEL.4")
        except pythoncom.com_error as error:
            failures.append(error.hresult)

    thread = threading.Thread(target=outside_any_apartment)
    thread.start()
    thread.join(5)
    assert failures == [-2147221008]  # CoInitialize has not been called

    with pytest.raises(pythoncom.com_error) as raised:
        win32com.client.Dispatch("CQG.NoSuchThing.1")
    assert raised.value.hresult == -2147221005

    emu.load_scenario(fail_creation=True)
    with pytest.raises(pythoncom.com_error) as raised:
        win32com.client.Dispatch("CQG.CQGCEL.4")
    assert raised.value.hresult == -2147221164
