#include "gatelink_scope.hpp"

#include "safe_access.hpp"
#include "truth.hpp"

namespace corvane::gatelink {

Scope::Scope(nb::handle module)
    : globals_(module), quote_copier_(globals_.get("Quote")),
      order_book_copier_(globals_.get("OrderBook")) {}

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

void Scope::wait_at_most_timeout(nb::handle event) const {
    nb::object timeout = global("TIMEOUT");
    pyglue::call_method(event, "wait", timeout);
}

void Scope::release(nb::handle self, const char *event_name) {
    nb::object event = pyglue::read(self, event_name);
    nb::object is_set = pyglue::call_method(event, "is_set");
    if (!pyglue::is_true(is_set))
        pyglue::call_method(event, "set");
}

nb::object Scope::cqg_cel(nb::handle self) {
    nb::object comBridge = pyglue::read(self, "comBridge");
    return pyglue::read(comBridge, "cqgCEL");
}

} // namespace corvane::gatelink
