#include "progress_log.hpp"

#include "com_platform.hpp"
#include "truth.hpp"
#include "type_check.hpp"

namespace corvane::bridge {

void Trace(nb::handle message) {
    if (!PyUnicode_Check(message.ptr()))
        pyglue::raise_incorrect_type(message, "str", "message");

    nb::object ident = pyglue::threading_module().attr("current_thread")().attr("ident");
    nb::str line = nb::str("{}: {}\n").format(ident, message);

    // The newline goes out in the same write as the text: print's own `end` is a second
    // write, between which another thread's line could slip.
    nb::module_::import_("builtins").attr("print")(line, nb::arg("end") = "");
    nb::module_::import_("sys").attr("stdout").attr("flush")();
}

void Trace(const char *message) { Trace(nb::str(message)); }

void AssertMessage(nb::handle condition, nb::handle message) {
    if (pyglue::is_true(condition))
        return;

    // Built as RuntimeError(message), so the message reaches the caller unchanged.
    nb::object error = nb::handle(PyExc_RuntimeError)(message);
    PyErr_SetObject(PyExc_RuntimeError, error.ptr());
    throw nb::python_error();
}

} // namespace corvane::bridge
