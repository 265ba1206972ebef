"""Error, identifier and date types of the emulated platform."""
from _cqgemu import IID, TimeType, com_error, error

# COM dates: a datetime.datetime labelled UTC whose fields are the sender's wall clock.
datetime = TimeType

__all__ = ["IID", "TimeType", "com_error", "datetime", "error"]
