"""The CQG gateway.

Its modules run on pywin32's COM platform: the real one on Windows, elsewhere the emulated
one of the distribution corvane-emulator. Without either, importing the gateway says how to
get one, rather than failing later on a bare "No module named 'pythoncom'".
"""
import importlib.util

# What the COM bridge and the gateway link import from the platform. Looked up without
# importing: importing pythoncom enters a COM apartment on the importing thread.
_COM_PLATFORM = ("pythoncom", "pywintypes", "win32event", "win32com")

_missing = [name for name in _COM_PLATFORM if importlib.util.find_spec(name) is None]
if _missing:
    raise ImportError(
        f"corvane's CQG gateway needs a COM platform, and found no module "
        f"{', '.join(_missing)}. On Windows, install pywin32 (pip install pywin32; "
        f"pip install corvane brings it there). Elsewhere, install the emulated platform, "
        f"the distribution corvane-emulator from corvane's source folder: "
        f"pip install ./emulator (make demo and make test install it).",
        name=_missing[0])
