"""Runs code against a freshly imported bot module in a child process, for faults that
would end the process rather than raise."""
import pathlib
import subprocess
import sys
import textwrap

HERE = pathlib.Path(__file__).parent

SCRIPT = """
import pathlib
import sys
sys.path.insert(0, {here!r})
from bot_support import bot_module_against
from corvane_local_bot_api import LocalBotApi

with LocalBotApi() as api, bot_module_against(api, pathlib.Path({folder!r})) as module:
{body}
"""


def run_with_bot_module(config_dir, body):
    """Runs `body` (code using `module`, the bot module) in a child; returns the run."""
    script = SCRIPT.format(here=str(HERE), folder=str(config_dir),
                           body=textwrap.indent(textwrap.dedent(body), "    "))
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=60)
