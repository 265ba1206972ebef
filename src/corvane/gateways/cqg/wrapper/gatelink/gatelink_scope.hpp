// What every concern of GATELINK shares: the module's globals, read at the moment of use
// as a Python module reads them (so `gatelink.TIMEOUT`, `gatelink.time` or `gatelink.Trace`
// rebound by a caller take effect at once), and the few steps every request repeats.
#pragma once

#include <nanobind/nanobind.h>

#include <memory>

#include "module_globals.hpp"

namespace gatelink {

namespace nb = nanobind;

class Scope {
public:
    explicit Scope(nb::handle module) : globals_(module) {}

    // The module global `name` as bound now.
    nb::object global(const char *name) const { return globals_.get(name); }

    // Trace(message), the progress log.
    void trace(nb::handle message) const;
    void trace(const char *message) const;

    // AssertMessage(event.wait(TIMEOUT), message): waits (the wait lets go of the GIL) and
    // raises RuntimeError(message) if the event was not set in time.
    void wait_or_fail(nb::handle event, nb::handle message) const;
    void wait_or_fail(nb::handle event, const char *message) const;

    // The CQGCEL object, as `self.comBridge.cqgCEL` reads it now.
    static nb::object cqg_cel(nb::handle self);

private:
    pyglue::ModuleGlobals globals_;
};

using ScopeRef = const Scope &;
using SharedScope = std::shared_ptr<const Scope>;

} // namespace gatelink
