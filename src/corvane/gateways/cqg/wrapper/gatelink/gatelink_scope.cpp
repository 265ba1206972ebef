#include "gatelink_scope.hpp"

#include "safe_access.hpp"

namespace gatelink {

void Scope::trace(nb::handle message) const {
    nb::object Trace = global("Trace");
    Trace(message);
}

void Scope::trace(const char *message) const { trace(nb::str(message)); }

void Scope::wait_or_fail(nb::handle event, nb::handle message) const {
    nb::object timeout = global("TIMEOUT");
    nb::object was_set = pyglue::call_method(event, "wait", timeout);
    nb::object AssertMessage = global("AssertMessage");
    AssertMessage(was_set, message);
}

void Scope::wait_or_fail(nb::handle event, const char *message) const {
    wait_or_fail(event, nb::str(message));
}

nb::object Scope::cqg_cel(nb::handle self) {
    nb::object comBridge = pyglue::read(self, "comBridge");
    return pyglue::read(comBridge, "cqgCEL");
}

} // namespace gatelink
