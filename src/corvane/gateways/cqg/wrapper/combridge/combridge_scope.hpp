// What the bridge module's functions and classes share: its imports, the names of a bridge's
// attributes (its two threads read and write them) and the objects the module has made.
#pragma once

#include <nanobind/nanobind.h>

#include <memory>

#include "interned_names.hpp"

namespace corvane::bridge {

namespace nb = nanobind;

// The attributes of a ComBridge, as interned names.
struct BridgeNames {
    pyglue::Name eventCELStarted{"eventCELStarted"};
    pyglue::Name eventAllPrepared{"eventAllPrepared"};
    pyglue::Name shutdownEvent{"shutdownEvent"};
    pyglue::Name errorHappened{"errorHappened"};
    pyglue::Name thread{"thread"};
    pyglue::Name cqgCELStream{"cqgCELStream"};
    pyglue::Name sink{"sink"};
    pyglue::Name cqgCEL{"cqgCEL"};
    // Set by the CEL thread when it fails before the hand-over: the exception that ended it.
    // Init raises it again, so it reaches Init's caller.
    pyglue::Name preparationFailure{"_celThreadFailure"};
    // Set by the CEL thread when it ends before CQGCEL has reported its start (or an error):
    // the start-up wait would otherwise never end.
    pyglue::Name endedBeforeStart{"_celThreadEndedBeforeStart"};
    // Set by the CEL thread when its pump failed while the start-up wait was pending: the
    // exception, which Init raises as the cause of its own error.
    pyglue::Name pumpFailure{"_celThreadPumpFailure"};
    // Set by the CEL thread once its pump has ended: nothing answers a call through the proxy
    // any more, so Shutdown does not make one.
    pyglue::Name pumpEnded{"_celPumpEnded"};
    // Set by the first Init: a bridge starts CQGCEL once.
    pyglue::Name initCalled{"_initCalled"};
};

struct Scope {
    // Made once the module's import statements have run.
    explicit Scope(nb::handle module);

    // Imports. Their members are read when used: a test or a host may rebind `print` or
    // replace `sys.stdout` at any time.
    nb::object builtins; // print
    nb::object sys;      // stdout

    BridgeNames names;

    // What the module has made, each set once made.
    nb::object sink_internal; // the class of the bridge's own sink
    nb::object running;       // the bridges running, with the exit hook that stops them
    nb::object com_bridge;    // the ComBridge class
};

using ScopeRef = const Scope &;
using SharedScope = std::shared_ptr<const Scope>;

// The state as it stands now, for the class or function made next. Each is given its own
// copy, so none holds what is made after it: a class given itself would hold itself through
// its own methods, a cycle held by C++ that the collector cannot see and never frees.
SharedScope snapshot(const Scope &scope);

} // namespace corvane::bridge
