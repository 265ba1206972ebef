"""corvane-demo from the command line: arguments it cannot run with are refused before
anything starts, and every way out of a session closes what it opened (in a child process
with a time-out: a thread left running would keep the interpreter from exiting)."""
import os
import subprocess
import sys
import textwrap

import pytest

pytestmark = pytest.mark.timeout(120)


def demo(*arguments, patch="", timeout=60):
    """Runs corvane-demo's main() in a child, after `patch` (code run first)."""
    script = textwrap.dedent(patch) + textwrap.dedent(f"""
        import sys
        from corvane.demo.cli import main
        sys.exit(main({list(arguments)!r}))
    """)
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=timeout)


@pytest.mark.parametrize("arguments, message", [
    (["--speed", "nan"], "--speed must be a finite number above zero, not nan"),
    (["--speed", "0"], "--speed must be a finite number above zero, not 0"),
    (["--speed", "-4"], "--speed must be a finite number above zero, not -4"),
    (["--duration", "inf"], "--duration must be a finite number above zero, not inf"),
    (["--symbols", "EPZ26,CLEF27,EPZ26"], "--symbols names EPZ26 more than once"),
    (["--symbols", "ZZZ"], "unknown symbol(s) ZZZ"),
])
def test_arguments_it_cannot_run_with_are_one_line_errors(tmp_path, arguments, message):
    run = demo(*arguments, "--db-dir", str(tmp_path / "out"))
    assert run.returncode == 2 and run.stdout == ""
    last = run.stderr.splitlines()[-1]
    assert last.startswith("corvane-demo: error: ") and message in last, run.stderr
    assert "Traceback" not in run.stderr


@pytest.mark.skipif(os.geteuid() == 0, reason="root writes anywhere")
def test_an_unwritable_folder_is_refused(tmp_path):
    locked = tmp_path / "locked"
    locked.mkdir()
    locked.chmod(0o500)
    try:
        run = demo("--db-dir", str(locked / "out"))
        run_inside = demo("--db-dir", str(locked))
    finally:
        locked.chmod(0o700)
    for refused in (run, run_inside):
        assert refused.returncode == 2 and "Traceback" not in refused.stderr
        assert "--db-dir" in refused.stderr.splitlines()[-1]


def test_a_failure_after_the_bot_started_polling_still_closes_everything(tmp_path):
    run = demo("--duration", "2", "--db-dir", str(tmp_path), "--no-chart", patch="""
        from corvane.demo import scenario
        def refuse(*args, **kwargs):
            raise RuntimeError("no market today")
        scenario.load_market = refuse
    """)
    assert run.returncode == 1
    assert run.stderr.splitlines()[-1] == "RuntimeError: no market today"
    assert "was not closed" not in run.stderr and "not shut down" not in run.stderr


def test_ctrl_c_while_the_bot_starts_closes_everything(tmp_path):
    # The interrupt arrives just as the bot's module has started polling, the moment a
    # Ctrl-C early in the session used to leave the bot's threads running for ever.
    run = demo("--duration", "2", "--db-dir", str(tmp_path), "--no-chart", patch="""
        import importlib
        import signal
        real_import = importlib.import_module
        def import_then_interrupt(name, *args):
            module = real_import(name, *args)
            if name == "corvane.plugins.telegram.bot":
                signal.raise_signal(signal.SIGINT)
            return module
        importlib.import_module = import_then_interrupt
    """)
    assert run.returncode == 130, run.stderr
    assert "interrupted: the session was stopped and everything closed" in run.stdout
    assert "was not closed" not in run.stderr and "Traceback" not in run.stderr
