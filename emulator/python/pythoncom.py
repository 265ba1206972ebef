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

# One error class under its three names, as pywin32 has it.
error = com_error
ole_error = com_error

__all__ = [
    "COINIT_APARTMENTTHREADED", "COINIT_MULTITHREADED", "IID", "IID_IDispatch", "IID_IUnknown",
    "CoGetInterfaceAndReleaseStream", "CoInitialize", "CoInitializeEx",
    "CoMarshalInterThreadInterfaceInStream", "CoUninitialize", "PumpMessages",
    "PumpWaitingMessages", "com_error", "error", "ole_error",
]

# As with pywin32, importing this module puts the importing thread (only) in an apartment;
# every other thread calls CoInitialize itself.
CoInitialize()
