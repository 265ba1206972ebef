"""COM initialisation is per thread, and a proxy belongs to the thread that unmarshaled it."""
import subprocess
import re
import sys
import textwrap
import pytest

import corvane_emulator as emu
import pythoncom
import win32com.client

from emulator_helpers import outcomes_on_a_new_thread

pytestmark = pytest.mark.timeout(30)

NOT_INITIALIZED = -2147221008
WRONG_THREAD = -2147417842


def test_only_the_thread_that_imports_pythoncom_starts_in_an_apartment():
    script = textwrap.dedent("""
        import threading
        results = {}

        def worker():
            import win32com.client  # imports pythoncom, here first
            results["importing thread"] = repr(win32com.client.Dispatch("CQG.CQGCEL.4"))

        thread = threading.Thread(target=worker)
        thread.start()
        thread.join()
        import pythoncom
        import win32com.client
        try:
            win32com.client.Dispatch("CQG.CQGCEL.4")
        except pythoncom.com_error as error:
            results["main thread"] = error.hresult
        print(sorted(results.items()))
    """)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         timeout=30)
    assert run.returncode == 0, run.stderr
    [(importing, made), main] = eval(run.stdout.strip())
    assert importing == "importing thread" and made.startswith("<win32com.gen_py.")
    assert main == ("main thread", NOT_INITIALIZED)


@pytest.mark.lifetime_faults(1)  # the proxy used after its thread left COM
def test_a_thread_outside_any_apartment_can_use_no_object_until_it_enters_one(owner_thread,
                                                                               capfd):
    owner = owner_thread()
    proxies = []

    def unmarshal():
        iface = pythoncom.CoGetInterfaceAndReleaseStream(owner.stream, pythoncom.IID_IDispatch)
        proxies.append(win32com.client.Dispatch(iface))

    outcomes = outcomes_on_a_new_thread(
        unmarshal,
        lambda: win32com.client.Dispatch("CQG.CQGCEL.4"),
        pythoncom.CoInitialize,
        unmarshal,  # the refused attempt left the stream as it was
        lambda: proxies[0].Shutdown(),
        pythoncom.CoUninitialize,
        lambda: proxies[0].APIConfiguration)
    assert outcomes == [NOT_INITIALIZED, NOT_INITIALIZED, "done", "done", "done", "done",
                        NOT_INITIALIZED]
    assert emu.cel_calls() == ["Shutdown"]
    # Undefined behaviour on Windows: reported as pywin32 reports a fault it guards against.
    assert re.search(r"^Win32 exception occurred using IUnknown at 0x[0-9a-f]+$",
                     capfd.readouterr().err, re.MULTILINE)


def test_a_proxy_on_another_thread_fails_at_its_first_member_access(owner_thread):
    cel = owner_thread().proxy()  # unmarshaled on this thread
    wrapped = []
    outcomes = outcomes_on_a_new_thread(
        pythoncom.CoInitialize,
        lambda: wrapped.append(win32com.client.Dispatch(cel._oleobj_)),
        lambda: wrapped[0].APIConfiguration,
        lambda: wrapped[0].Shutdown,
        pythoncom.CoUninitialize)
    assert outcomes == ["done", "done", WRONG_THREAD, WRONG_THREAD, "done"]
    assert emu.cel_calls() == []
