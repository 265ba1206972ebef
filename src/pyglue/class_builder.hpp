// Building ordinary Python classes whose methods are C++ functions.
//
// A class made here is created by calling its metaclass (normally `type`), exactly as a
// `class` statement would: instances get a __dict__, Python code can subclass it and mix it
// with other classes, and methods look like any other attribute. Each method is a nanobind
// function flagged as a method, so it binds `self` like a Python function does.
#pragma once

#include <nanobind/nanobind.h>

#include <type_traits>
#include <utility>

namespace pyglue {

namespace nb = nanobind;

class ClassBuilder {
public:
    // `module` gives the class its __module__; `bases` may be empty (plain object base).
    ClassBuilder(nb::handle module, const char *name, nb::tuple bases = nb::tuple(),
                 const char *doc = nullptr);

    // A method: `f` takes the instance first (as nb::handle or nb::object), then the
    // arguments named by the nb::arg annotations in `extra` (name every argument). As in
    // a Python method, every named argument accepts None; the method checks its values.
    template <typename Func, typename... Extra>
    ClassBuilder &def(const char *name, Func &&f, const Extra &...extra) {
        nb::cpp_function(std::forward<Func>(f), nb::scope(cls_), nb::name(name),
                         nb::is_method(), accepting_none(extra)...);
        return *this;
    }

    // A static function of the class (no `self`).
    template <typename Func, typename... Extra>
    ClassBuilder &def_static(const char *name, Func &&f, const Extra &...extra) {
        nb::object fn =
            nb::cpp_function(std::forward<Func>(f), nb::name(name), accepting_none(extra)...);
        nb::setattr(cls_, name, static_method(fn));
        return *this;
    }

    // A read-write property from a getter (self) and a setter (self, value). The setter is
    // given every value, None included, and checks it itself.
    template <typename Get, typename Set>
    ClassBuilder &def_property(const char *name, Get &&getter, Set &&setter,
                               const char *doc = nullptr) {
        nb::object get = nb::cpp_function(std::forward<Get>(getter), nb::is_method());
        nb::object set = nb::cpp_function(std::forward<Set>(setter), nb::is_method(),
                                          nb::arg("val").none());
        nb::setattr(cls_, name, make_property(get, set, doc));
        return *this;
    }

    // A plain class attribute.
    ClassBuilder &attr(const char *name, nb::handle value);

    // Declares a field for a later dataclass(): its annotation and, optionally, a default.
    ClassBuilder &field(const char *name, nb::handle annotation);
    ClassBuilder &field(const char *name, nb::handle annotation, nb::handle default_value);

    // The class object; the builder stays usable after this.
    nb::object get() const { return cls_; }

private:
    // nanobind refuses None for an argument unless told otherwise.
    template <typename Extra> static Extra accepting_none(Extra extra) {
        if constexpr (std::is_base_of_v<nb::arg, Extra>)
            extra.none_ = true;
        return extra;
    }

    static nb::object static_method(nb::handle fn);
    static nb::object make_property(nb::handle get, nb::handle set, const char *doc);

    nb::object cls_;
    nb::dict annotations_;
};

// Applies dataclasses.dataclass(frozen=True) to `cls` and returns the resulting class.
nb::object frozen_dataclass(nb::handle cls);

} // namespace pyglue
