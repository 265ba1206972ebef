"""What Dispatch hands out once CQGCEL's type library is loaded: an instance of a class made per
CQG type, answering only to names spelt as declared, with methods that bind their arguments as
generated Python functions do; the late-bound CDispatch only when the scenario asks for it."""
import decimal
import re
import threading

import pytest

import corvane_emulator as emu
import pythoncom
import win32com.client
from corvane.gateways.cqg.wrapper.type_library import CQGCEL_TYPE_LIBRARY

GENERATED = r"'<win32com\.gen_py\.CQGCEL 4\.0 Type Library\.%s instance at 0x\d+>' object has no attribute '%s'$"


def test_one_class_per_type_none_of_them_a_cdispatch(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    accounts, again = cel.Accounts, cel.Accounts
    assert type(accounts) is type(again) and type(accounts) is not type(cel)
    assert type(accounts).__name__ == "CQGAccounts" and type(cel).__name__ == "CQGCEL"
    assert not isinstance(cel, win32com.client.CDispatch)
    assert not isinstance(accounts, win32com.client.CDispatch)
    assert hasattr(accounts, "__iter__")
    items = list(accounts)  # iteration wraps each item with its own generated class
    assert [type(a).__name__ for a in items] == ["CQGAccount", "CQGAccount"]
    assert [a.GWAccountID for a in items] == [1001, 1002]
    assert re.fullmatch(r"<win32com\.gen_py\.CQGCEL 4\.0 Type Library\.CQGAccounts instance "
                        r"at 0x\d+>", repr(accounts))
    # The classes live in the module pywin32 generates for the library the bridge ensures.
    guid, lcid, major, minor = CQGCEL_TYPE_LIBRARY
    assert type(cel).__module__ == f"win32com.gen_py.{guid[1:-1]}x{lcid}x{major}x{minor}"


def test_names_answer_only_as_declared_for_gets_and_sets_alike(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    configuration = cel.APIConfiguration
    configuration.ReadyStatusCheck = 0
    assert configuration.ReadyStatusCheck == 0
    for wrong in ("readystatuscheck", "READYSTATUSCHECK", "ReadyStatuscheck"):
        with pytest.raises(AttributeError, match=GENERATED % ("APIConfiguration", wrong)):
            getattr(configuration, wrong)
        with pytest.raises(AttributeError, match=GENERATED % ("APIConfiguration", wrong)):
            setattr(configuration, wrong, 0)
    with pytest.raises(AttributeError, match=GENERATED % ("CQGCEL", "shutdown")):
        cel.shutdown()
    with pytest.raises(AttributeError, match=GENERATED % ("CQGCEL", "Shutdown")):
        cel.Shutdown = 1  # a method has no put
    with pytest.raises(AttributeError, match=GENERATED % ("CQGCEL", "_no_such")):
        cel._no_such
    assert emu.configuration_log() == [("ReadyStatusCheck", 0)]
    assert emu.cel_calls() == []


def test_methods_bind_keyword_arguments_and_fill_omitted_optional_ones(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    assert cel.Accounts.Item(Index=1001).GWAccountID == 1001
    summary = cel.Accounts.Item(1001).Summary
    assert summary.Balance(Index=0) == summary.Balance(0)
    with pytest.raises(TypeError, match=r"^Item\(\) got an unexpected keyword argument 'index'$"):
        cel.Accounts.Item(index=1001)
    with pytest.raises(TypeError, match=r"^Item\(\) got multiple values for argument 'Index'$"):
        cel.Accounts.Item(1001, Index=1001)
    with pytest.raises(TypeError, match=r"^Item\(\) takes 2 positional arguments but 3 were "):
        cel.Accounts.Item(1001, 1002)
    with pytest.raises(TypeError, match=r"^Shutdown\(\) takes 1 positional argument but 2 "):
        cel.Shutdown(None)
    with pytest.raises(pythoncom.com_error) as raised:
        cel.GWLogon(Password="secret")  # UserName is required
    assert raised.value.hresult == -2147352561
    cel.GWLogon(Password="secret", UserName="trader")
    assert emu.cel_call_args() == [("GWLogon", ("trader", "secret"))]


def test_omitted_optional_parameters_take_their_defaults_or_are_left_out_at_the_end(apartment):
    probe = emu.make_probe()  # EchoDeclared(First, Second=2, Third): what the server receives
    assert probe.EchoDeclared(1) == (1, 2)
    assert probe.EchoDeclared(First=5) == (5, 2)
    assert probe.EchoDeclared(1, Third=3) == (1, 2, 3)
    assert probe.EchoDeclared(1, 7, 8) == (1, 7, 8)
    assert probe.EchoDeclared(Third=None, Second=None, First=0) == (0, None, None)
    with pytest.raises(TypeError, match=r"^EchoDeclared\(\) takes from 2 to 4 positional "):
        probe.EchoDeclared(1, 2, 3, 4)


def test_dispatch_of_a_wrapper_or_its_interface_gives_an_equal_wrapper(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    for source in (cel, cel._oleobj_):
        again = win32com.client.Dispatch(source)
        assert again == cel and again is not cel and type(again) is type(cel)
    # Compared with anything that is no COM object, a wrapper is simply unequal.
    for wrapper in (cel, cel._oleobj_):
        assert (wrapper == None) is False and (wrapper != None) is True  # noqa: E711
        assert wrapper != 1 and wrapper != "CQGCEL"
    with pytest.raises(TypeError, match="unhashable"):
        hash(cel)


def test_the_late_bound_switch_keeps_the_case_blind_cdispatch(late_bound, apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    assert type(cel) is win32com.client.CDispatch
    assert type(cel.apiconfiguration) is win32com.client.CDispatch
    assert (cel == None) is False  # noqa: E711
    with pytest.raises(pythoncom.com_error) as raised:
        cel.Startup(1)  # counted by the server, not refused by a signature
    assert raised.value.hresult == -2147352562
    with pytest.raises(ValueError, match="dispatch must be one of"):
        emu.load_scenario(dispatch="early")


def test_a_type_mismatch_names_its_argument_as_com_counts_them(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    with pytest.raises(pythoncom.com_error) as raised:
        cel.Accounts.ItemByIndex("0")
    assert raised.value.args[0] == -2147352571 and raised.value.argerror == 0
    account = cel.Accounts.Item(1001)
    instrument_slot = 1  # CreateOrder(type, instrument, account, quantity, side): last first
    with pytest.raises(pythoncom.com_error) as raised:
        cel.CreateOrder(2, account, account, 1, 1)
    assert raised.value.hresult == -2147352571 and raised.value.argerror == 5 - 1 - instrument_slot


@pytest.mark.parametrize("sent, received", [
    (decimal.Decimal("1.234567"), "1.2345"),  # cut to four places, as CY holds them
    (decimal.Decimal("-1.00009"), "-1"),
    (decimal.Decimal("2.50000"), "2.5"),
    (decimal.Decimal("1E-5"), "0"),
])
def test_currency_keeps_four_places_at_most(apartment, sent, received):
    got = emu.make_probe().Echo(sent)
    assert type(got) is decimal.Decimal and str(got) == received


@pytest.mark.parametrize("sent, error", [
    (decimal.Decimal("NaN"), ValueError), (decimal.Decimal("Infinity"), OverflowError),
    (decimal.Decimal(10) ** 16, OverflowError),
])
def test_currency_a_cy_cannot_hold_is_refused_before_it_leaves(apartment, sent, error):
    probe = emu.make_probe()
    with pytest.raises(error):
        probe.Value = sent
    assert probe.Value is None


def test_dates_sent_keep_milliseconds_rounded_to_the_nearest(apartment):
    import datetime as dt
    probe = emu.make_probe()
    utc = dt.timezone.utc
    late = dt.datetime(2026, 12, 31, 23, 59, 59, 999600, tzinfo=utc)
    assert probe.Echo(late) == dt.datetime(2027, 1, 1, tzinfo=utc)  # carried into the year
    assert probe.Echo(late.replace(microsecond=1499)).microsecond == 1000
    assert probe.Echo(late.replace(microsecond=1500)).microsecond == 2000


def test_a_thread_keeps_the_model_it_entered_com_with():
    outcomes = []

    def enter():
        pythoncom.CoInitialize()
        try:
            pythoncom.CoInitializeEx(pythoncom.COINIT_MULTITHREADED)
        except pythoncom.com_error as error:
            outcomes.append(error.hresult)
        pythoncom.CoInitializeEx(pythoncom.COINIT_APARTMENTTHREADED)  # the same model: nested
        pythoncom.CoUninitialize()
        pythoncom.CoUninitialize()
        pythoncom.CoInitializeEx(pythoncom.COINIT_MULTITHREADED)  # after leaving: any model
        outcomes.append("entered")
        pythoncom.CoUninitialize()

    worker = threading.Thread(target=enter)
    worker.start()
    worker.join()
    assert outcomes == [-2147417850, "entered"]  # RPC_E_CHANGED_MODE, counted as no entry
