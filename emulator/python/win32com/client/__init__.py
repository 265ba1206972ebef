"""Dispatch, WithEvents and the named constants of loaded type libraries (emulated platform)."""
import _cqgemu
import pythoncom  # noqa: F401  (as with pywin32: the importing thread enters an apartment)

from . import gencache

__all__ = ["CDispatch", "Dispatch", "WithEvents", "constants", "gencache"]

CDispatch = _cqgemu.CDispatch
# Dispatch(dispatch, userName=None, resultCLSID=None, typeinfo=None, clsctx=None): a C++
# function, as every event's handler calls it for its arguments.
Dispatch = _cqgemu.Dispatch


def WithEvents(disp, user_event_class):
    """An instance of a class derived from an events class and `user_event_class`, connected to
    the events of `disp`; `user_event_class.__init__` runs after the connection is made."""
    return _cqgemu.WithEvents(disp, user_event_class)


class Constants:
    """The named constants of every loaded type library, read by attribute. As pywin32's,
    it keeps one dict of names per loaded library in `__dicts__`, searched in order."""

    def __init__(self):
        self.__dicts__ = []

    def __getattr__(self, name):
        for names in self.__dicts__:
            if name in names:
                return names[name]
        raise AttributeError(name)

    def __dir__(self):
        return sorted(name for names in self.__dicts__ for name in names)


constants = Constants()
