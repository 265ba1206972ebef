"""Plug-ins of the framework."""
