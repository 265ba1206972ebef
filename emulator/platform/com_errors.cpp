#include "com_errors.hpp"

#include "errors.hpp"

#include <string>

namespace cqgemu {

namespace {

PyObject *com_error_class = nullptr;   // kept for the life of the process
PyObject *win32_error_class = nullptr; // kept for the life of the process

const char *hresult_text(long code) {
    switch (code) {
    case hresult::CO_E_NOTINITIALIZED: return "CoInitialize has not been called.";
    case hresult::CO_E_CLASSSTRING: return "Invalid class string";
    case hresult::REGDB_E_CLASSNOTREG: return "Class not registered";
    case hresult::RPC_E_WRONG_THREAD:
        return "The application called an interface that was marshalled for a different thread.";
    case hresult::RPC_E_DISCONNECTED:
        return "The object invoked has disconnected from its clients.";
    case hresult::RPC_E_SERVER_DIED_DNE:
        return "The callee (server [not server application]) is not available and disappeared; "
               "all connections are invalid. The call did not execute.";
    case hresult::E_NOINTERFACE: return "No such interface supported";
    case hresult::RPC_E_CHANGED_MODE: return "Cannot change thread mode after it is set.";
    case hresult::E_UNEXPECTED: return "Catastrophic failure";
    case hresult::E_FAIL: return "Unspecified error";
    case hresult::DISP_E_EXCEPTION: return "Exception occurred.";
    case hresult::DISP_E_TYPEMISMATCH: return "Type mismatch.";
    case hresult::DISP_E_BADPARAMCOUNT: return "Invalid number of parameters.";
    case hresult::DISP_E_BADINDEX: return "Invalid index.";
    case hresult::TYPE_E_LIBNOTREGISTERED: return "Library not registered.";
    default: return "Unspecified error";
    }
}

const char *win32_error_text(int winerror) {
    switch (winerror) {
    case 6: return "The handle is invalid.";
    case 87: return "The parameter is incorrect.";
    case 1444: return "Invalid thread identifier.";
    default: return "Unknown error.";
    }
}

// An exception class whose named attributes read its positional arguments, as pywin32's do.
PyObject *make_error_class(const char *qualified_name, std::initializer_list<const char *> fields) {
    nb::dict ns;
    nb::object property = nb::module_::import_("builtins").attr("property");
    size_t index = 0;
    for (const char *field : fields) {
        nb::object getter = nb::cpp_function(
            [index](nb::handle self) -> nb::object {
                nb::tuple args = nb::borrow<nb::tuple>(self.attr("args"));
                return index < args.size() ? nb::object(args[index]) : nb::none();
            },
            nb::is_method());
        ns[field] = property(getter);
        ++index;
    }
    PyObject *cls = PyErr_NewException(qualified_name, PyExc_Exception, ns.ptr());
    if (!cls)
        throw nb::python_error();
    return cls;
}

} // namespace

void define_error_types(nb::module_ &module) {
    if (!com_error_class) {
        com_error_class =
            make_error_class("pywintypes.com_error",
                             {"hresult", "strerror", "excepinfo", "argerror"});
        win32_error_class =
            make_error_class("pywintypes.error", {"winerror", "funcname", "strerror"});
    }
    module.attr("com_error") = nb::handle(com_error_class);
    module.attr("error") = nb::handle(win32_error_class);
}

nb::handle com_error_type() { return com_error_class; }
nb::handle win32_error_type() { return win32_error_class; }

[[noreturn]] void raise_com_error(long code) {
    nb::object error = nb::handle(com_error_class)(code, nb::str(hresult_text(code)), nb::none(),
                                                   nb::none());
    pyglue::raise_again(error);
}

void add_argument_index(nb::python_error &error, size_t position, size_t count) {
    if (!error.matches(com_error_class))
        return;
    nb::object value = nb::borrow(error.value());
    nb::tuple args = nb::borrow<nb::tuple>(value.attr("args"));
    if (args.size() != 4 || !args[3].is_none())
        return;
    nb::object code = args[0], text = args[1], excepinfo = args[2];
    if (!code.equal(nb::int_(hresult::DISP_E_TYPEMISMATCH)))
        return;
    nb::object argerror = nb::int_(static_cast<long>(count - 1 - position));
    nb::setattr(value, "args", nb::make_tuple(code, text, excepinfo, argerror));
}

[[noreturn]] void raise_server_error(const char *source, const std::string &description,
                                     long scode) {
    nb::tuple excepinfo = nb::make_tuple(0, nb::str(source), nb::str(description.c_str()),
                                         nb::none(), 0, scode);
    nb::object error = nb::handle(com_error_class)(
        hresult::DISP_E_EXCEPTION, nb::str(hresult_text(hresult::DISP_E_EXCEPTION)), excepinfo,
        nb::none());
    pyglue::raise_again(error);
}

[[noreturn]] void raise_win32_error(int winerror, const char *function) {
    nb::object error =
        nb::handle(win32_error_class)(winerror, nb::str(function),
                                      nb::str(win32_error_text(winerror)));
    pyglue::raise_again(error);
}

} // namespace cqgemu
