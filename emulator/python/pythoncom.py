"""COM runtime of the emulated platform: single-threaded apartments, marshaling, the pump."""
from _cqgemu import (
    COINIT_APARTMENTTHREADED,
    COINIT_MULTITHREADED,
    IID,
    IID_IDispatch,
    IID_IUnknown,
    CoGetInterfaceAndReleaseStream,
    CoInitialize,
    CoInitializeEx,
    CoMarshalInterThreadInterfaceInStream,
    CoUninitialize,
    PumpMessages,
    PumpWaitingMessages,
    com_error,
)

__all__ = [
    "COINIT_APARTMENTTHREADED", "COINIT_MULTITHREADED", "IID", "IID_IDispatch", "IID_IUnknown",
    "CoGetInterfaceAndReleaseStream", "CoInitialize", "CoInitializeEx",
    "CoMarshalInterThreadInterfaceInStream", "CoUninitialize", "PumpMessages",
    "PumpWaitingMessages", "com_error",
]
