"""COM initialisation is per thread, and a proxy belongs to the thread that unmarshaled it."""
import subprocess
import sys
import textwrap
import threading

import pytest

import corvane_emulator as emu
import pythoncom
import win32com.client

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
    assert run.stdout.strip() == str([("importing thread", "<COMObject CQG.CQGCEL.4>"),
                                      ("main thread", NOT_INITIALIZED)])


def test_a_thread_outside_any_apartment_can_use_no_object_until_it_enters_one(owner_thread):
    owner = owner_thread()
    outcomes = []

    def attempt(action):
        try:
            action()
            outcomes.append("done")
        except pythoncom.com_error as error:
            outcomes.append((error.hresult, error.strerror))

    def worker():
        unmarshal = lambda: pythoncom.CoGetInterfaceAndReleaseStream(  # noqa: E731
            owner.stream, pythoncom.IID_IDispatch)
        attempt(unmarshal)
        attempt(lambda: win32com.client.Dispatch("CQG.CQGCEL.4"))
        pythoncom.CoInitialize()
        proxy = win32com.client.Dispatch(unmarshal())  # the refused attempt left the stream
        attempt(proxy.Shutdown)
        pythoncom.CoUninitialize()
        attempt(lambda: proxy.APIConfiguration)

    thread = threading.Thread(target=worker, daemon=True)
    thread.start()
    thread.join(10)
    refused = (NOT_INITIALIZED, "CoInitialize has not been called.")
    assert outcomes == [refused, refused, "done", refused]
    assert emu.cel_calls() == ["Shutdown"]


def test_a_proxy_on_another_thread_fails_at_its_first_member_access(owner_thread):
    cel = owner_thread().proxy()  # unmarshaled on this thread
    outcomes = []

    def elsewhere():
        pythoncom.CoInitialize()
        try:
            wrapped = win32com.client.Dispatch(cel._oleobj_)
            outcomes.append("wrapped")
            for access in (lambda: wrapped.APIConfiguration, lambda: wrapped.Shutdown):
                try:
                    access()
                except pythoncom.com_error as error:
                    outcomes.append(error.hresult)
        finally:
            pythoncom.CoUninitialize()

    thread = threading.Thread(target=elsewhere, daemon=True)
    thread.start()
    thread.join(10)
    assert outcomes == ["wrapped", WRONG_THREAD, WRONG_THREAD]
    assert emu.cel_calls() == []
