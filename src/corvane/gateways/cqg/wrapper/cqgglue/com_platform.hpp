// The COM platform (pywin32, or its stand-in where pywin32 is absent), looked up at the
// moment of use so that callers always talk to the modules the host has loaded, and CQG's
// named constants, read from win32com.client.constants when used (the generated
// type-library wrapper fills that namespace, so nothing is cached here).
#pragma once

#include <nanobind/nanobind.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace cqgglue {

namespace nb = nanobind;

nb::module_ threading_module();
nb::module_ pythoncom_module();
nb::module_ win32event_module();
nb::module_ win32com_client_module();

// win32com.client.Dispatch(value): a program id creates the object, a bare COM interface (a
// proxy) is wrapped so its members can be used by name, and an object wrapped already (an event
// argument, as the events class hands it over) gives an equal wrapper.
nb::object dispatch(nb::handle value);

// win32com.client.constants.<name>; an unknown name raises AttributeError.
nb::object com_constant(const char *name);

// win32com.client.constants as bound now, for reading many names at once. pywin32's
// namespace keeps the names of every loaded type library in `__dicts__`, a list of mappings
// (each generated module's `constants.__dict__`, a mappingproxy) that its __getattr__ searches
// in order, once ordinary attribute access has found nothing: a name set on the namespace
// itself (or on its class) comes first. Both are searched here the same way, without a Python
// call per name. A namespace without `__dicts__` (a stand-in) is read by attribute.
class ComConstants {
public:
    ComConstants();

    // constants.<name>; AttributeError(name) for a name no library defines.
    nb::object get(nb::handle name) const;

    // A mark of the namespace as it is now, to tell later that every name would still read
    // the same value. CPython gives a dict a new version on every change to it, so the mark
    // holds the version of every dict a name is looked up in: the namespace's own, those of
    // its class and the class's bases, and each library's (for a mappingproxy, the dict behind
    // it). A library of any other kind cannot be marked: there the mark is never valid.
    struct Version {
        bool valid = false;
        nb::object constants, libraries;
        std::vector<std::pair<nb::object, std::uint64_t>> dicts; // each library, its version
        std::vector<nb::object> behind; // the dict each library's names live in
        std::vector<std::pair<nb::object, std::uint64_t>> own; // the namespace's and its classes'
    };
    Version version() const;

    // Whether this is the namespace `mark` was taken of, with the same libraries in the same
    // order, none of them changed since.
    bool unchanged_since(const Version &mark) const;

private:
    // Whether ordinary attribute access finds `name` on the namespace or its class.
    bool has_own_attribute(nb::handle name) const;

    nb::object constants_;
    nb::object libraries_; // the `__dicts__` list, or invalid
};

} // namespace cqgglue
