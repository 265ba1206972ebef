// The Python face of emulated objects and the calls made through it.
//
// PyIDispatch is a bare interface pointer: what a stream gives back and what an event hands to a
// sink. It is valid on one thread only (its owner's for a direct pointer, the unmarshaling
// thread's for a proxy) and has no names of its own. CDispatch is the wrapper made by
// win32com.client.Dispatch: it answers to the object's property and method names. A call made
// through a proxy is queued to the owner thread and the caller waits, without the GIL, until the
// owner's pump has run it; the result or the exception comes back.
//
// Once the type library is loaded the platform wraps with a generated class instead: one class
// per CQG type, deriving from DispatchBaseClass, that answers only to names spelt as declared
// and binds method arguments to the declared parameters. The platform's settings say which
// of the two Dispatch hands out.
#pragma once

#include "emulated_object.hpp"

#include <nanobind/nanobind.h>

#include <cstdint>
#include <memory>
#include <optional>

namespace cqgemu {

namespace nb = nanobind;

// Held by an interface a Python object owns (a PyIDispatch, a wrapper): its release is
// reported when it comes after its thread left COM (CoUninitialize), as pywin32 reports the
// fault it guards against there. A copy of the interface watches nothing.
struct ReleaseWatch {
    // The apartment the interface belongs to: its thread's queue, and how often that queue's
    // apartment had been left when the interface was made. Queue 0: nothing watched.
    std::uint64_t queue = 0;
    std::uint64_t generation = 0;
    unsigned long thread = 0; // that queue's thread
    ReleaseWatch() = default;
    ReleaseWatch(const ReleaseWatch &) {}
    ReleaseWatch &operator=(const ReleaseWatch &) { return *this; }
    ~ReleaseWatch();
};

struct Interface {
    std::shared_ptr<EmulatedObject> target;
    unsigned long valid_thread = 0; // 0: usable from any thread
    ReleaseWatch watch;
};

// How many interfaces were released or used after their thread left COM, in this process.
long lifetime_fault_count();

struct DispatchWrapper {
    Interface iface;
};

// An instance of a generated class: the same interface, other rules for names.
struct GeneratedWrapper : DispatchWrapper {};

struct BoundMethod {
    Interface iface;
    const Member *member;
    bool generated = false; // bound through a generated class: arguments bind to parameters
};

enum class Operation { Get, Set, Call };

// Registers PyIDispatch, CDispatch and the bound-method type.
void define_interface_types(nb::module_ &module);

// A bare interface pointer to `object`, valid on the calling thread.
nb::object interface_for_this_thread(std::shared_ptr<EmulatedObject> object);

// A PyIDispatch holding `iface`.
nb::object new_interface(Interface iface);

// Whether `value` is a PyIDispatch, and the interface it holds (`value` must be one).
bool is_interface(nb::handle value);
const Interface &held_interface(nb::handle value);

// Whether `value` is a CDispatch or an instance of a generated class (or of a subclass).
bool is_wrapper(nb::handle value);

// The interface behind a PyIDispatch, a CDispatch or an object with `_oleobj_`; empty if none.
std::optional<Interface> interface_of(nb::handle value);

// Checks that `iface` may be used on the calling thread and that its object is still there.
void require_usable_here(const Interface &iface);
// The same for a caller that knows its thread's ident already.
void require_usable_on(const Interface &iface, unsigned long here);

// The emulated object of type T a method argument carries, usable here; the platform's type
// mismatch for anything else.
template <class T> std::shared_ptr<T> emulated_argument(nb::handle value);

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

[[noreturn]] void raise_type_mismatch();

// A new instance of `type` (a bound C++ type T, or a subclass) holding `value`: the type is
// known, so nothing is looked up as a cast would.
template <class T> nb::object new_instance(PyTypeObject *type, T value) {
    nb::object instance = nb::inst_alloc(nb::handle(reinterpret_cast<PyObject *>(type)));
    new (nb::inst_ptr<T>(instance)) T(std::move(value));
    nb::inst_mark_ready(instance);
    return instance;
}

template <class T> std::shared_ptr<T> emulated_argument(nb::handle value) {
    std::optional<Interface> iface = interface_of(value);
    if (!iface)
        raise_type_mismatch();
    require_usable_here(*iface);
    auto object = std::dynamic_pointer_cast<T>(iface->target);
    if (!object)
        raise_type_mismatch();
    return object;
}

} // namespace cqgemu
