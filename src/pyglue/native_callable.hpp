// The public face of a C++ function: a callable that reports its real signature to
// inspect.signature and its documentation, and nothing else, as __doc__.
//
// A nanobind function renders its own signature line in front of its documentation and has
// no __signature__, so inspect and help() cannot see its parameters. The callable made here
// holds the nanobind function and forwards every call to it unchanged (one C-level hop, no
// Python frame), and carries the names, kinds and defaults of the parameters, from which it
// builds an inspect.Signature the first time one is asked for.
#pragma once

#include <nanobind/nanobind.h>

#include <string>
#include <vector>

namespace pyglue {

namespace nb = nanobind;

// The kinds of inspect.Parameter, with the same values.
enum class ParameterKind : int {
    PositionalOnly = 0,
    PositionalOrKeyword = 1,
    VarPositional = 2,
    KeywordOnly = 3,
    VarKeyword = 4,
};

struct Parameter {
    std::string name;
    ParameterKind kind;
    nb::object default_value; // a null object: no default
};

struct CallableFace {
    const char *name;
    std::string qualname;
    nb::object module_name;
    const char *doc; // nullptr: no documentation (__doc__ is None)
    std::vector<Parameter> parameters;
    // An object the C++ function reads through a reference it does not own (a module's
    // globals): the callable holds it where the collector sees it, and lets go of it only
    // after the function. A null object: none.
    nb::object holds;
};

// A method: looked up on an instance it binds the instance as its first argument, as a
// Python function does (so the interpreter's method-call shortcut applies too).
nb::object make_native_method(nb::object function, const CallableFace &face);

// A function that never binds: a module function, or the inside of a staticmethod.
nb::object make_native_function(nb::object function, const CallableFace &face);

} // namespace pyglue
