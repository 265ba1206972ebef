"""An interface released or used after its thread left COM: undefined behaviour on Windows,
which pywin32 guards and reports ("Win32 exception occurred releasing IUnknown"); the emulator
reports it the same way, and the test suite fails on it."""
import os
import re
import subprocess
import sys
import textwrap
import threading

import pytest

import corvane_emulator as emu
import pythoncom
import win32com.client

REPORT = r"^Win32 exception occurred %s IUnknown at 0x[0-9a-fA-F]+$"


def on_a_new_thread(body):
    worker = threading.Thread(target=body)
    worker.start()
    worker.join()


@pytest.mark.lifetime_faults(2)
def test_a_release_and_a_use_after_couninitialize_are_reported(capfd):
    def body():
        pythoncom.CoInitialize()
        probe = emu.make_probe()
        interface = probe._oleobj_
        pythoncom.CoUninitialize()
        with pytest.raises(pythoncom.com_error):
            probe.Value  # used after the apartment is gone
        del interface, probe

    before = emu.lifetime_fault_count()
    on_a_new_thread(body)
    assert emu.lifetime_fault_count() == before + 2
    err = capfd.readouterr().err
    assert re.search(REPORT % "using", err, re.MULTILINE)
    assert re.search(REPORT % "releasing", err, re.MULTILINE)


def test_what_is_let_go_of_inside_the_apartment_or_by_couninitialize_is_no_fault(capfd):
    def body():
        pythoncom.CoInitialize()
        cel = win32com.client.Dispatch("CQG.CQGCEL.4")
        sink = win32com.client.WithEvents(cel, object)
        emu.fire_event("DataError", emu.make_error(1, "queued"), "queued")  # never pumped
        dropped = [cel.Accounts for _ in range(3)]
        del dropped
        sink.close()
        del sink, cel
        pythoncom.CoUninitialize()  # drops the queued event and its objects

    before = emu.lifetime_fault_count()
    on_a_new_thread(body)
    assert emu.lifetime_fault_count() == before
    assert "Win32 exception" not in capfd.readouterr().err


def test_a_child_process_with_such_a_report_ends_with_an_error():
    script = textwrap.dedent("""
        import threading
        import corvane_emulator as emu
        import pythoncom

        def body():
            pythoncom.CoInitialize()
            probe = emu.make_probe()
            pythoncom.CoUninitialize()
            del probe

        worker = threading.Thread(target=body)
        worker.start()
        worker.join()
    """)
    environment = dict(os.environ, CORVANE_EMULATOR_STRICT_LIFETIME="1")
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         timeout=30, env=environment)
    assert run.returncode == 3
    assert re.search(REPORT % "releasing", run.stderr, re.MULTILINE)
    assert "1 COM interface(s) released or used after their thread called CoUninitialize" in (
        run.stderr)
    environment.pop("CORVANE_EMULATOR_STRICT_LIFETIME")
    assert subprocess.run([sys.executable, "-c", script], capture_output=True,
                          timeout=30, env=environment).returncode == 0
