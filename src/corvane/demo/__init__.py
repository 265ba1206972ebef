"""The demo: a whole trading session on the CQGCEL emulator (``corvane-demo``), and the
per-module tour (``corvane-demo --tour``). Nothing is imported here: the session modules
import the bot and the CQG modules, which connect when imported."""
