// Module functions with C++ bodies that show their real signature and documentation,
// built like ClassBuilder's methods (see parameters.hpp for what the annotations give).
#pragma once

#include <nanobind/nanobind.h>

#include <utility>

#include "native_callable.hpp"
#include "parameters.hpp"

namespace pyglue {

namespace nb = nanobind;

// Raises TypeError if the module being built already has `name`: a second definition
// would silently replace the first.
void refuse_module_member(nb::handle module, const char *name);

// Defines `module.<name>`: `f` with the nb::arg annotations and documentation in `extra`;
// the function holds `held` (may be null) for `f` where the collector sees it
// (CallableFace::holds).
template <typename Func, typename... Extra>
void def_function_holding(nb::module_ &module, nb::handle held, const char *name, Func &&f,
                          const Extra &...extra) {
    refuse_module_member(module, name);
    nb::object module_name = module.attr("__name__");
    CallableFace face = describe_callable<Func>(name, name, module_name, false, extra...);
    face.holds = nb::borrow(held);
    nb::object fn = nb::cpp_function(std::forward<Func>(f), nb::name(name), extra...);
    nb::object function = make_native_function(std::move(fn), face);
    module.attr(name) = function;
}

// Defines `module.<name>`: `f` with the nb::arg annotations and documentation in `extra`.
template <typename Func, typename... Extra>
void def_function(nb::module_ &module, const char *name, Func &&f, const Extra &...extra) {
    def_function_holding(module, nb::handle(), name, std::forward<Func>(f), extra...);
}

} // namespace pyglue
