// A module's globals, read at the moment of use as a Python function reads them: a
// rebinding of `mod.TIMEOUT` or `mod.time` by a caller takes effect at once, and a name the
// module lacks comes from builtins (`print`), else NameError.
#pragma once

#include <nanobind/nanobind.h>

#include "interned_names.hpp"

namespace pyglue {

namespace nb = nanobind;

class ModuleGlobals {
public:
    explicit ModuleGlobals(nb::handle module);

    // The value bound to `name` now.
    nb::object get(const char *name) const { return get(interned(name)); }
    nb::object get(const Name &name) const { return get(name.get()); }

private:
    nb::object get(nb::handle name) const; // an interned str

    nb::dict globals_;
};

} // namespace pyglue
