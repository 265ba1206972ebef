// The calls made through an interface (interface.hpp), and the wrappers that make them by name.
//
// CDispatch is the wrapper made by win32com.client.Dispatch: it answers to the object's property
// and method names. A call made through a proxy is queued to the owner thread and the caller
// waits, without the GIL, until the owner's pump has run it; the result or the exception comes
// back.
//
// Once the type library is loaded the platform wraps with a generated class instead: one class
// per CQG type, deriving from DispatchBaseClass, that answers only to names spelt as declared
// and binds method arguments to the declared parameters. The platform's settings say which
// of the two Dispatch hands out.
#pragma once

#include "interface.hpp"
#include "member_table.hpp"

#include <nanobind/nanobind.h>

#include <string>

namespace cqgemu {

namespace nb = nanobind;

struct BoundMethod {
    Interface iface;
    const Member *member;
    bool generated = false; // bound through a generated class: arguments bind to parameters
};

enum class Operation { Get, Set, Call };

// win32com.client.Dispatch on an existing interface: an instance of the generated class of its
// type, or a CDispatch when the platform's settings ask for late binding.
nb::object wrap_for_names(const Interface &iface);

// A member's result as the caller sees it: an interface wrapped for names, anything else as is.
nb::object wrap_result(nb::object value);

// Raises AttributeError("'<type>' object has no attribute '<name>'") for `object`.
[[noreturn]] void raise_missing_attribute(nb::handle object, const char *name);

// Runs one operation on the object behind `iface`: directly when the object lives here,
// through its owner's queue otherwise (which needs this thread in an apartment). The argument
// (a tuple for a call) and the result cross as VARIANTs; an error inside the object comes
// back as a com_error.
nb::object invoke(const Interface &iface, Operation operation, const Member &member,
                  nb::object argument);

// The wrappers' type slots (interface_types.cpp puts them in): a read and a put by name, and a
// bound method's call.
PyObject *getattro_slot(PyObject *self, PyObject *name) noexcept;
int setattro_slot(PyObject *self, PyObject *name, PyObject *value) noexcept;
PyObject *method_call_slot(PyObject *self, PyObject *args, PyObject *kwargs) noexcept;

// "<win32com.gen_py.<library>.<class> instance at 0x<id>>", as a generated class writes itself.
std::string generated_repr(nb::handle self);

} // namespace cqgemu
