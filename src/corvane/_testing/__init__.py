"""Test-only native modules (not part of the framework)."""
