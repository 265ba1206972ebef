// A bare interface pointer to an emulated object (PyIDispatch): what a stream gives back, what an
// event hands to a sink, and what every wrapper holds. It is valid on one thread only (its
// owner's for a direct pointer, the unmarshaling thread's for a proxy) and has no names of its
// own; win32com.client.Dispatch wraps it for names and the calls go through it (dispatch.hpp).
// One a Python object holds is watched: its release or use after its thread left COM is
// reported as pywin32 reports the fault.
#pragma once

#include "emulated_object.hpp"

#include <nanobind/nanobind.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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

// The platform's Python types, set once they are registered (interface_types.cpp): a type
// check or a new instance then needs no look-up of the C++ type.
struct PlatformTypes {
    PyTypeObject *interface = nullptr;      // PyIDispatch
    PyTypeObject *late_bound = nullptr;     // CDispatch
    PyTypeObject *generated_base = nullptr; // DispatchBaseClass, base of every generated class
    PyTypeObject *method = nullptr;         // COMMethod
};
inline PlatformTypes platform_types;

// Whether `value` is an instance of `type` or of a subclass of it.
inline bool has_type(nb::handle value, PyTypeObject *type) {
    PyTypeObject *actual = Py_TYPE(value.ptr());
    if (actual == type)
        return true;
    // Our types' subclasses are all heap types: the values that cross most (None, numbers,
    // strings, tuples) are of static types and need no walk through their bases.
    return PyType_HasFeature(actual, Py_TPFLAGS_HEAPTYPE) && PyType_IsSubtype(actual, type);
}

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

// Starts watching an interface a Python object now holds, when it belongs to this thread.
void watch_release(Interface &iface);
// Reports a use of `iface` after its thread left COM, if it was.
void report_use_after_leaving(const Interface &iface);

// COM identity: whether `other` holds an interface to the object `a` points to.
bool same_object(const Interface &a, nb::handle other);
// "<kind type>", as an interface or a wrapper shows itself.
std::string describe(const Interface &iface, const char *kind);

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
