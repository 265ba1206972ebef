"""The shipped type stubs say what the installed modules offer: names, parameter names,
kinds and defaults (checked by mypy's stubtest against the modules at run time)."""
import pathlib
import subprocess
import sys

import pytest

from corvane_local_bot_api import LocalBotApi
from system_modules import BOT_MODULE, EMULATOR_MODULES, SYSTEM_MODULES

PYPROJECT = pathlib.Path(__file__).resolve().parent.parent / "pyproject.toml"

# stubtest imports the bot module, which starts polling: close the bot before leaving, or
# the child would wait for the library's threads forever.
_STUBTEST = """
import sys
from mypy import stubtest
result = stubtest.test_stubs(stubtest.parse_options(sys.argv[1:]))
bot_module = sys.modules.get("%s")
if bot_module is not None:
    bot_module.bot.close()
sys.exit(result)
""" % BOT_MODULE


@pytest.mark.timeout(300)
def test_stubs_match_the_modules(tmp_path):
    with LocalBotApi() as api:
        (tmp_path / "corvane_config.py").write_text(
            f"TELEGRAM_TOKEN = {api.token!r}\n"
            "TELEGRAM_CHAT_ID = 42\n"
            f"TELEGRAM_BASE_URL = {api.base_url!r}\n")
        check = subprocess.run(
            [sys.executable, "-c", _STUBTEST, "--mypy-config-file", str(PYPROJECT),
             *SYSTEM_MODULES, *EMULATOR_MODULES],
            cwd=tmp_path, capture_output=True, text=True, timeout=280,
            env={**_environment(), "PYTHONPATH": str(tmp_path)})
    assert check.returncode == 0, check.stdout + check.stderr


def _environment():
    import os
    return {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "MYPYPATH")}


def test_stubs_are_installed():
    import corvane
    import corvane_emulator

    package = pathlib.Path(corvane.__file__).parent
    assert (package / "py.typed").is_file()
    for name in SYSTEM_MODULES:
        stub = package.parent.joinpath(*name.split(".")).with_suffix(".pyi")
        assert stub.is_file(), stub
    site = pathlib.Path(corvane_emulator.__file__).parent
    assert (site / "corvane_emulator.pyi").is_file()
    assert (site / "corvane_emulator-stubs" / "__init__.pyi").is_file()
