#include "progress_log.hpp"

#include "com_platform.hpp"
#include "errors.hpp"
#include "safe_access.hpp"
#include "truth.hpp"
#include "type_check.hpp"

namespace corvane::bridge {

using pyglue::call_method;
using pyglue::read;

namespace {

// Raises RuntimeError(message), built first so that the message reaches the caller unchanged
// whatever it is (a tuple handed to the raise itself would become the arguments).
[[noreturn]] void raise_assertion_failure(nb::handle message) {
    nb::object error = nb::handle(PyExc_RuntimeError)(message);
    pyglue::raise_error(PyExc_RuntimeError, error);
}

} // namespace

void trace(ScopeRef scope, nb::handle message) {
    if (!PyUnicode_Check(message.ptr()))
        pyglue::raise_incorrect_type(message, "str", "message");

    nb::object thread = call_method(cqgglue::threading_module(), "current_thread");
    nb::object ident = read(thread, "ident");
    nb::str line = nb::str("{}: {}\n").format(ident, message);

    // The newline goes out in the same write as the text: print's own `end` is a second
    // write, between which another thread's line could slip.
    nb::object print = read(scope.builtins, "print");
    print(line, nb::arg("end") = "");
    nb::object stdout_now = read(scope.sys, "stdout");
    call_method(stdout_now, "flush");
}

void trace(ScopeRef scope, const char *message) { trace(scope, nb::str(message)); }

void assert_message(nb::handle condition, nb::handle message) {
    if (!pyglue::is_true(condition))
        raise_assertion_failure(message);
}

} // namespace corvane::bridge
