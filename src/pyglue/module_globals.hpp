// A module's globals, read at the moment of use as a Python function reads them: a
// rebinding of `mod.TIMEOUT` or `mod.time` by a caller takes effect at once, and a name the
// module lacks comes from builtins (`print`), else NameError.
#pragma once

#include <nanobind/nanobind.h>

#include "interned_names.hpp"

namespace pyglue {

namespace nb = nanobind;

// It borrows the module's dict: each function that reads through it must hold that dict
// itself (dict() below, given to ClassBuilder::holding or def_function_holding), so that the
// collector sees the reference. Owned from C++, the dict, which holds the module's classes
// and functions, would hold itself through them where the collector cannot see it, and a
// module dropped by its importers would never be freed.
class ModuleGlobals {
public:
    explicit ModuleGlobals(nb::handle module);

    // The dict the readers must hold.
    nb::handle dict() const { return globals_; }

    // The value bound to `name` now.
    nb::object get(const char *name) const { return get(interned(name)); }
    nb::object get(const Name &name) const { return get(name.get()); }

private:
    nb::object get(nb::handle name) const; // an interned str

    nb::handle globals_; // borrowed, see above
};

} // namespace pyglue
