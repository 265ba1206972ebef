// Building ordinary Python classes whose methods are C++ functions.
//
// A class made here is created by calling its metaclass (normally `type`), exactly as a
// `class` statement would: instances get a __dict__, Python code can subclass it and mix it
// with other classes, and methods look like any other attribute. Each method is a nanobind
// function behind a native callable (native_callable.hpp) that binds `self` like a Python
// function does and shows its real signature and documentation.
#pragma once

#include <nanobind/nanobind.h>

#include <string>
#include <type_traits>
#include <utility>

#include "native_callable.hpp"
#include "parameters.hpp"

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
    // A string among `extra` is the method's documentation. inspect.signature reports the
    // parameters as annotated: names, defaults (nb::arg("x") = value), nb::kw_only, and
    // nb::args / nb::kwargs parameters as *args / **kwargs.
    template <typename Func, typename... Extra>
    ClassBuilder &def(const char *name, Func &&f, const Extra &...extra) {
        CallableFace face =
            describe_callable<Func>(name, member_qualname(name), module_name_, true, extra...);
        face.holds = holds_;
        nb::object fn = nb::cpp_function(std::forward<Func>(f), nb::name(name),
                                         nb::is_method(), accepting_none(extra)...);
        define_member(name, make_native_method(std::move(fn), face));
        return *this;
    }

    // A static function of the class (no `self`).
    template <typename Func, typename... Extra>
    ClassBuilder &def_static(const char *name, Func &&f, const Extra &...extra) {
        CallableFace face =
            describe_callable<Func>(name, member_qualname(name), module_name_, false, extra...);
        face.holds = holds_;
        nb::object fn =
            nb::cpp_function(std::forward<Func>(f), nb::name(name), accepting_none(extra)...);
        define_member(name, static_method(make_native_function(std::move(fn), face)));
        return *this;
    }

    // A read-write property from a getter (self) and a setter (self, val). The setter is
    // given every value, None included, and checks it itself.
    template <typename Get, typename Set>
    ClassBuilder &def_property(const char *name, Get &&getter, Set &&setter,
                               const char *doc = nullptr) {
        const nb::arg val = nb::arg("val").none();
        CallableFace get_face =
            describe_callable<Get>(name, member_qualname(name), module_name_, true);
        CallableFace set_face =
            describe_callable<Set>(name, member_qualname(name), module_name_, true, val);
        get_face.holds = holds_;
        set_face.holds = holds_;
        nb::object get = nb::cpp_function(std::forward<Get>(getter), nb::name(name),
                                          nb::is_method());
        nb::object set = nb::cpp_function(std::forward<Set>(setter), nb::name(name),
                                          nb::is_method(), val);
        define_member(name, make_property(make_native_method(std::move(get), get_face),
                                          make_native_method(std::move(set), set_face), doc));
        return *this;
    }

    // Every method and accessor defined after this holds `held` for its C++ function, where
    // the collector sees it (CallableFace::holds): what the functions read without owning.
    ClassBuilder &holding(nb::handle held);

    // A plain class attribute.
    ClassBuilder &attr(const char *name, nb::handle value);

    // Replaces a member this class defines by `decorator(member)`, as a decorator written
    // above the definition would (the name must be defined here already).
    ClassBuilder &decorate(const char *name, nb::handle decorator);

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

    std::string member_qualname(const char *name) const;

    // Sets a member, refusing a name this class already defines: a second definition would
    // silently replace the first, and a clash with a data attribute hides one of the two.
    void define_member(const char *name, nb::handle value);
    void refuse_defined(const char *name) const;

    static nb::object static_method(nb::handle fn);
    static nb::object make_property(nb::handle get, nb::handle set, const char *doc);

    nb::object cls_;
    nb::dict annotations_;
    nb::object module_name_;
    std::string name_;
    nb::object holds_;
};

// Applies dataclasses.dataclass(frozen=True) to `cls` and returns the resulting class.
nb::object frozen_dataclass(nb::handle cls);

} // namespace pyglue
