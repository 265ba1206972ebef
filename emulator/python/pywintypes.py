"""Error and identifier types of the emulated platform."""
from _cqgemu import IID, com_error, error

__all__ = ["IID", "com_error", "error"]
