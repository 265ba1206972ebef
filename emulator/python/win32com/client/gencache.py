"""Type-library wrappers of the emulated platform: EnsureModule loads one and makes its
constants available in win32com.client.constants."""
import types

import _cqgemu


def EnsureModule(typelibCLSID, lcid, major, minor, progressInstance=None, bValidateFile=0,
                 bForDemand=None, bBuildHidden=1):
    guid = _cqgemu.load_type_library(str(typelibCLSID), lcid, major, minor)
    name = "win32com.gen_py.%sx%sx%sx%s" % (guid.strip("{}"), lcid, major, minor)
    loaded = _loaded.get(name)
    if loaded is not None:
        return loaded
    module = types.ModuleType(name, "CQGCEL 4.0 Type Library")
    module.CLSID = guid
    module.MajorVersion = major
    module.MinorVersion = minor
    module.LCID = lcid
    # A generated module keeps its constants as attributes of a class named `constants`, and
    # that class's __dict__ (a mappingproxy, not a dict) joins win32com.client.constants once.
    module.constants = type("constants", (), {
        constant: _cqgemu.constant(constant) for constant in _cqgemu.constant_names()})
    import win32com.client
    win32com.client.constants.__dicts__.append(module.constants.__dict__)
    _loaded[name] = module
    return module


# The modules loaded so far, by name, as the generated cache keeps them.
_loaded = {}
