// The parameters a C++ function shows to Python, read from the same annotations nanobind
// binds it with: the C++ parameter types (nb::args, nb::kwargs) and, in order, the nb::arg
// annotations (names, defaults given as nb::arg("x") = value) and nb::kw_only. A string
// among the annotations is the documentation.
#pragma once

#include <nanobind/nanobind.h>

#include <array>
#include <cstddef>
#include <type_traits>
#include <vector>

#include "native_callable.hpp"

namespace pyglue {

namespace nb = nanobind;

namespace annotation_reading {

// The C++ parameter types of a function pointer or of a lambda's call operator.
template <typename F> struct parameter_types : parameter_types<decltype(&F::operator())> {};
template <typename R, typename... A> struct parameter_types<R (*)(A...)> {
    static constexpr std::array<bool, sizeof...(A) + 1> is_args{
        std::is_same_v<std::decay_t<A>, nb::args>..., false};
    static constexpr std::array<bool, sizeof...(A) + 1> is_kwargs{
        std::is_same_v<std::decay_t<A>, nb::kwargs>..., false};
    static constexpr std::size_t count = sizeof...(A);
};
template <typename R, typename... A>
struct parameter_types<R (*)(A...) noexcept> : parameter_types<R (*)(A...)> {};
template <typename R, typename C, typename... A>
struct parameter_types<R (C::*)(A...) const> : parameter_types<R (*)(A...)> {};
template <typename R, typename C, typename... A>
struct parameter_types<R (C::*)(A...)> : parameter_types<R (*)(A...)> {};
template <typename R, typename C, typename... A>
struct parameter_types<R (C::*)(A...) const noexcept> : parameter_types<R (*)(A...)> {};
template <typename R, typename C, typename... A>
struct parameter_types<R (C::*)(A...) noexcept> : parameter_types<R (*)(A...)> {};
template <typename R, typename... A> struct parameter_types<R(A...)> : parameter_types<R (*)(A...)> {};

// One annotation as written at the call site, reduced to what the signature needs.
struct Annotation {
    enum Kind { Named, KeywordOnlyMarker, Documentation, Other } kind = Other;
    const char *name = nullptr;
    nb::object default_value;
    const char *text = nullptr;
};

template <typename Extra> Annotation read_annotation(const Extra &extra) {
    Annotation a;
    if constexpr (std::is_base_of_v<nb::arg_v, Extra> || std::is_base_of_v<nb::arg_locked_v, Extra>) {
        a.kind = Annotation::Named;
        a.name = extra.name_;
        a.default_value = extra.value;
    } else if constexpr (std::is_base_of_v<nb::arg, Extra>) {
        a.kind = Annotation::Named;
        a.name = extra.name_;
    } else if constexpr (std::is_same_v<Extra, nb::kw_only>) {
        a.kind = Annotation::KeywordOnlyMarker;
    } else if constexpr (std::is_convertible_v<const Extra &, const char *>) {
        a.kind = Annotation::Documentation;
        a.text = extra;
    }
    return a;
}

// Pairs the C++ parameters with the annotations; a method's first parameter is `self`,
// which is not annotated.
std::vector<Parameter> pair_parameters(const bool *is_args, const bool *is_kwargs,
                                       std::size_t count, bool is_method,
                                       const std::vector<Annotation> &annotations);

const char *documentation_of(const std::vector<Annotation> &annotations);

} // namespace annotation_reading

// The face of `f` as a Python callable named `name` (qualified as `qualname`).
template <typename Func, typename... Extra>
CallableFace describe_callable(const char *name, std::string qualname, nb::object module_name,
                               bool is_method, const Extra &...extra) {
    namespace reading = annotation_reading;
    using types = reading::parameter_types<std::remove_cv_t<std::remove_reference_t<Func>>>;
    std::vector<reading::Annotation> annotations{reading::read_annotation(extra)...};
    CallableFace face;
    face.name = name;
    face.qualname = std::move(qualname);
    face.module_name = std::move(module_name);
    face.doc = reading::documentation_of(annotations);
    face.parameters = reading::pair_parameters(types::is_args.data(), types::is_kwargs.data(),
                                               types::count, is_method, annotations);
    return face;
}

} // namespace pyglue
