"""The SQLite record store plug-in."""
