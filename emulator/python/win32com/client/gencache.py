"""Type-library wrappers of the emulated platform: EnsureModule loads one and makes its
constants available in win32com.client.constants."""
import types

import _cqgemu


def EnsureModule(typelibCLSID, lcid, major, minor, progressInstance=None, bValidateFile=0,
                 bForDemand=None, bBuildHidden=1):
    guid = _cqgemu.load_type_library(str(typelibCLSID), lcid, major, minor)
    name = "win32com.gen_py.%sx%sx%sx%s" % (guid.strip("{}"), lcid, major, minor)
    module = types.ModuleType(name, "Generated wrapper of the type library " + guid)
    module.CLSID = guid
    module.MajorVersion = major
    module.MinorVersion = minor
    module.LCID = lcid
    # The library's constants join win32com.client.constants once, as a generated module's do.
    names = {name: _cqgemu.constant(name) for name in _cqgemu.constant_names()}
    import win32com.client
    known = win32com.client.constants.__dicts__
    if names not in known:
        known.append(names)
    return module
