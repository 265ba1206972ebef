"""CQGCEL's type library, as win32com.client.gencache.EnsureModule takes it: the library's
GUID, its locale and its version (major, minor). Its generated wrapper fills
win32com.client.constants and lets WithEvents bind CQGCEL's events to sink methods; the COM
bridge ensures it when it is loaded."""

CQGCEL_TYPE_LIBRARY = ("{51F35562-AEB4-4AB3-99E8-AC9666344B64}", 0, 4, 0)
