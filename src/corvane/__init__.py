"""corvane: an algorithmic-trading framework.

The five system modules are C++ extension modules:

- ``corvane.core.security``: the instrument model
- ``corvane.gateways.cqg.wrapper.ComBridge``: the COM bridge to CQGCEL
- ``corvane.gateways.cqg.wrapper.gatelink``: the CQG gateway link
- ``corvane.plugins.telegram.bot``: the Telegram bot plug-in
- ``corvane.plugins.sqlite3.db``: the SQLite record store plug-in

Nothing is imported eagerly: importing the bot connects to Telegram, and the CQG modules
need pywin32 (or the emulator).
"""
