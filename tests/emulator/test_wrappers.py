"""What wrappers and the platform's names are: identity, hashing, errors of Dispatch."""
import pytest

import pythoncom
import pywintypes
import win32com.client

pytestmark = pytest.mark.timeout(20)


@pytest.mark.parametrize("value", [None, object(), 3])
def test_dispatch_of_something_that_is_no_com_object_lacks_get_type_info(value):
    name = type(value).__name__
    with pytest.raises(AttributeError, match="^'%s' object has no attribute 'GetTypeInfo'$" % name):
        win32com.client.Dispatch(value)


def test_wrappers_compare_by_com_identity_and_are_unhashable(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    other = win32com.client.Dispatch("CQG.CQGCEL.4")
    again = win32com.client.Dispatch(cel._oleobj_)
    assert again == cel and again._oleobj_ == cel._oleobj_ and cel == cel._oleobj_
    assert again != other and cel._oleobj_ != other._oleobj_
    for wrapper in (cel, cel._oleobj_):
        with pytest.raises(TypeError, match="unhashable"):
            hash(wrapper)
        with pytest.raises(TypeError):
            {wrapper: 1}
        with pytest.raises(TypeError):
            {wrapper}


def test_the_com_error_class_goes_by_all_its_names():
    assert pythoncom.error is pythoncom.com_error
    assert pythoncom.ole_error is pythoncom.com_error
    assert pywintypes.com_error is pythoncom.com_error


CEL_MEMBERS = ["APIConfiguration", "Startup", "Shutdown", "GWLogon", "GWLogoff",
               "AccountSubscriptionLevel", "Accounts", "NewInstrument", "RemoveInstrument",
               "Instruments", "CreateTicksRequest", "RequestTicks", "RemoveTicks", "AllTicks",
               "CreateTimedBarsRequest", "RequestTimedBars", "RemoveTimedBars", "AllTimedBars",
               "CreateOrder", "Orders"]


def test_late_bound_members_answer_in_any_case_and_near_misses_do_not(late_bound, apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    for name in CEL_MEMBERS:
        for spelling in (name, name.lower(), name.upper(), name.swapcase()):
            assert hasattr(cel, spelling), spelling
        # Same length and the same first, middle and last letters: only the name tells.
        middle = len(name) // 2
        for i in {1, middle - 1, len(name) - 2} - {0, middle, len(name) - 1}:
            other = "z" if name[i].lower() != "z" else "y"
            near = name[:i] + other + name[i + 1:]
            assert not hasattr(cel, near), near
        for wrong in (name + "s", name[:-1], "_" + name):
            assert not hasattr(cel, wrong), wrong
    assert not hasattr(cel, "")


def test_wrappers_made_after_many_were_dropped_hold_only_their_own_object(apartment):
    # Wrappers, interfaces and iterators are reused once dropped, nothing of the last use kept.
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    for _ in range(3):
        dropped = [win32com.client.Dispatch(cel.Accounts._oleobj_) for _ in range(5000)]
        dropped += [iter(cel.Accounts) for _ in range(500)]
        del dropped
        accounts = cel.Accounts
        assert repr(accounts).startswith(
            "<win32com.gen_py.CQGCEL 4.0 Type Library.CQGAccounts instance at 0x")
        assert accounts != cel
        assert repr(accounts._oleobj_) == "<PyIDispatch CQGAccounts>"
        assert [a.GWAccountID for a in accounts] == [1001, 1002]
        with pytest.raises(TypeError, match="unhashable"):
            hash(accounts)


def test_len_asks_count_and_the_truth_test_never_does(apartment):
    import corvane_emulator as emu
    accounts = win32com.client.Dispatch("CQG.CQGCEL.4").Accounts
    emu.fail_property("CQGAccounts", "Count", times=1)
    with pytest.raises(pythoncom.com_error):
        len(accounts)
    emu.fail_property("CQGAccounts", "Count", times=1)
    assert accounts and bool(accounts) is True
    with pytest.raises(pythoncom.com_error):  # the truth test left the fault where it was
        len(accounts)
    assert len(accounts) == 2


def test_a_late_bound_method_takes_its_arguments_by_position_only(late_bound, apartment):
    accounts = win32com.client.Dispatch("CQG.CQGCEL.4").Accounts
    item = accounts.Item
    assert repr(item) == "<COM method Item of CQGAccounts>"
    assert item(1001).GWAccountID == 1001
    with pytest.raises(TypeError, match=r"^Item\(\) takes no keyword arguments$"):
        item(index=1001)
    with pytest.raises(pythoncom.com_error) as raised:
        item()
    assert raised.value.hresult == -2147352562  # wrong number of arguments
