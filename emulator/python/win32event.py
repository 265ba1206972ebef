"""Kernel events and waits of the emulated platform."""
from _cqgemu import (
    INFINITE,
    QS_ALLEVENTS,
    QS_ALLINPUT,
    WAIT_ABANDONED_0,
    WAIT_FAILED,
    WAIT_OBJECT_0,
    WAIT_TIMEOUT,
    CreateEvent,
    MsgWaitForMultipleObjects,
    ResetEvent,
    SetEvent,
    WaitForMultipleObjects,
    WaitForSingleObject,
)

__all__ = [
    "INFINITE", "QS_ALLEVENTS", "QS_ALLINPUT", "WAIT_ABANDONED_0", "WAIT_FAILED", "WAIT_OBJECT_0",
    "WAIT_TIMEOUT", "CreateEvent", "MsgWaitForMultipleObjects", "ResetEvent", "SetEvent",
    "WaitForMultipleObjects", "WaitForSingleObject",
]
