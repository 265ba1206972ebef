"""A bridge started from a daemon thread, started twice, or left running at exit."""
import os
import subprocess
import sys
import textwrap
import threading

import pytest

from bridge_log import MODULE

pytestmark = pytest.mark.timeout(60)


def run_child(source, env=None):
    """Runs `source` in a child process with the bridge module imported as `ComBridge`; a
    hang fails the test instead of stopping the run."""
    script = f"import {MODULE} as ComBridge\n" + textwrap.dedent(source)
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=30, env=env)


def test_the_cel_thread_is_no_daemon_when_init_runs_on_one(combridge, cel_platform):
    bridge = combridge.ComBridge()
    seen = []

    def run_bridge():
        import pythoncom
        pythoncom.CoInitialize()  # as on Windows: only the importing thread starts initialised
        bridge.Init(combridge.CELSinkBase, None)
        seen.append(bridge.thread.daemon)
        bridge.Shutdown()
        pythoncom.CoUninitialize()

    caller = threading.Thread(target=run_bridge, daemon=True)
    caller.start()
    caller.join(timeout=20)
    assert seen == [False]
    assert not bridge.thread.is_alive()


def test_a_second_init_is_refused_and_starts_nothing():
    run = run_child("""
        import threading
        bridge = ComBridge.ComBridge()
        bridge.Init(ComBridge.CELSinkBase, None)
        first = bridge.thread
        try:
            bridge.Init(ComBridge.CELSinkBase, None)
        except RuntimeError as error:
            print("refused:", error)
        cel_threads = [t for t in threading.enumerate() if t.name == "cel_threadfunc"]
        print("same thread:", bridge.thread is first, "cel threads:", len(cel_threads))
        bridge.Shutdown()
        print("shut down, alive:", first.is_alive())
    """)
    assert run.returncode == 0, run.stderr
    lines = [line for line in run.stdout.splitlines() if not line[:1].isdigit()]
    assert lines == [
        "refused: Init was already called on this ComBridge: a ComBridge starts CQGCEL once; "
        "create a new ComBridge to start again",
        "same thread: True cel threads: 1",
        "shut down, alive: False",
    ]


@pytest.mark.parametrize("caller", ["main", "daemon"])
def test_exit_with_a_running_bridge_warns_once_and_shuts_it_down(caller):
    run = run_child(f"""
        import threading
        bridges = [ComBridge.ComBridge(), ComBridge.ComBridge()]
        for bridge in bridges:
            if {caller!r} == "main":
                bridge.Init(ComBridge.CELSinkBase, None)
            else:
                init = threading.Thread(target=bridge.Init,
                                        args=(ComBridge.CELSinkBase, None), daemon=True)
                init.start()
                init.join()
    """)
    assert run.returncode == 0, run.stderr
    assert run.stderr.count("ComBridge was not shut down") == 1, run.stderr
    assert "leaked" not in run.stderr
    # Both CEL threads left their apartments and ended.
    assert run.stdout.count("COM framework is uninitialized!") == 2


@pytest.mark.parametrize("wrong_thread", ["worker", "event handler"])
def test_a_shutdown_refused_on_the_wrong_thread_leaves_the_bridge_guarded(wrong_thread):
    """Shutdown from a thread that does not own the proxy raises as on Windows; the bridge
    is still shut down at exit (the interpreter does not hang), or by a later Shutdown."""
    run = run_child(f"""
        import threading
        import corvane_emulator
        bridge = ComBridge.ComBridge()
        refused = []

        def shut_down():
            try:
                bridge.Shutdown()
            except Exception as error:
                refused.append(type(error).__name__)

        if {wrong_thread!r} == "worker":
            worker = threading.Thread(target=shut_down)
            bridge.Init(ComBridge.CELSinkBase, None)
            worker.start()
            worker.join()
        else:
            class Sink(ComBridge.CELSinkBase):
                def OnGWConnectionStatusChanged(self, status):
                    shut_down()
            sink = bridge.Init(Sink, None)
            bridge.cqgCEL.GWLogon("trader", "secret")
            while not refused:
                threading.Event().wait(0.01)
        print("refused:", refused)
    """)
    assert run.returncode == 0, run.stderr
    assert "refused: ['com_error']" in run.stdout
    assert run.stderr.count("ComBridge was not shut down") == 1, run.stderr
    assert run.stdout.count("COM framework is uninitialized!") == 1


def test_a_gateway_close_refused_on_the_wrong_thread_can_be_made_again():
    run = run_child("""
        import threading
        from corvane.core.security import Futures
        from corvane.gateways.cqg.gateway import CqgGateway
        gateway = CqgGateway([Futures(code="EPZ26", security_name="x")]).connect()
        worker = threading.Thread(target=gateway.close)
        worker.start()
        worker.join()
        bridge = gateway.comBridge
        print("kept:", bridge is not None, bridge.thread.is_alive())
        gateway.close()
        print("closed:", gateway.comBridge is None, bridge.thread.is_alive())
    """)
    assert run.returncode == 0, run.stderr
    assert "kept: True True" in run.stdout and "closed: True False" in run.stdout
    assert "ComBridge was not shut down" not in run.stderr


def test_no_leak_report_when_a_daemon_thread_holds_a_bridge_at_exit():
    # The daemon's frames (and the gateway, bridge and CQGCEL proxy they hold) are never
    # freed, by the interpreter's design; that is no leak of ours to report. (Nor, under
    # the sanitizers, one for their leak check.)
    env = dict(os.environ)
    if "ASAN_OPTIONS" in env:
        env["ASAN_OPTIONS"] += ":detect_leaks=0"
    run = run_child(env=env, source="""
        import threading
        import pythoncom
        import corvane_emulator
        from corvane.core.security import Futures
        from corvane.gateways.cqg.gateway import CqgGateway
        started = threading.Event()

        def trade():
            pythoncom.CoInitialize()
            gateway = CqgGateway([Futures(code="EPZ26", security_name="x")]).connect()
            gateway.gatelink.Logon("trader", "secret")
            started.set()
            threading.Event().wait()

        threading.Thread(target=trade, daemon=True).start()
        started.wait()
    """)
    assert run.returncode == 0, run.stderr
    assert "ComBridge was not shut down" in run.stderr
    assert "leaked" not in run.stderr, run.stderr
