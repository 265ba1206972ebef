"""The modules whose types ship as stubs, checked against what they offer at run time.

Add a module here when it gets its stub (the gateway link will join the system modules)."""

SYSTEM_MODULES = [
    "corvane.core.security",
    "corvane.gateways.cqg.wrapper.ComBridge",
    "corvane.plugins.telegram.bot",
    "corvane.plugins.sqlite3.db",
]

# The emulator's control module, used by the tests and the demo.
EMULATOR_MODULES = ["corvane_emulator"]

# Importing this one connects to Telegram: it needs a Bot API server and a corvane_config.
BOT_MODULE = "corvane.plugins.telegram.bot"
