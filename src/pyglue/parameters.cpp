#include "parameters.hpp"

#include <stdexcept>
#include <string>

namespace pyglue::annotation_reading {

std::vector<Parameter> pair_parameters(const bool *is_args, const bool *is_kwargs,
                                       std::size_t count, bool is_method,
                                       const std::vector<Annotation> &annotations) {
    std::vector<Parameter> parameters;
    std::size_t first = 0;
    if (is_method && count > 0) {
        parameters.push_back({"self", ParameterKind::PositionalOrKeyword, nb::object()});
        first = 1;
    }

    std::size_t named = 0;
    for (const Annotation &a : annotations)
        named += a.kind == Annotation::Named;
    // A method may name its `self` too; the face already has it.
    bool skip_self_annotation = first == 1 && named == count;
    if (skip_self_annotation)
        --named;

    // Without nb::arg annotations nanobind takes the arguments by position only, as
    // arg0, arg1, ...
    if (named == 0) {
        for (std::size_t i = first; i < count; ++i) {
            if (is_args[i])
                parameters.push_back({"args", ParameterKind::VarPositional, nb::object()});
            else if (is_kwargs[i])
                parameters.push_back({"kwargs", ParameterKind::VarKeyword, nb::object()});
            else
                parameters.push_back({"arg" + std::to_string(i - first),
                                      ParameterKind::PositionalOnly, nb::object()});
        }
        return parameters;
    }
    if (named != count - first)
        throw std::logic_error("every argument needs an nb::arg annotation, or none does");

    std::size_t i = first;
    bool keyword_only = false;
    for (const Annotation &a : annotations) {
        if (a.kind == Annotation::KeywordOnlyMarker)
            keyword_only = true;
        if (a.kind != Annotation::Named)
            continue;
        if (skip_self_annotation) {
            skip_self_annotation = false;
            continue;
        }
        ParameterKind kind = ParameterKind::PositionalOrKeyword;
        if (is_args[i]) {
            kind = ParameterKind::VarPositional;
            keyword_only = true; // what follows *args can only be given by keyword
        } else if (is_kwargs[i]) {
            kind = ParameterKind::VarKeyword;
        } else if (keyword_only) {
            kind = ParameterKind::KeywordOnly;
        }
        parameters.push_back({a.name, kind, a.default_value});
        ++i;
    }
    return parameters;
}

const char *documentation_of(const std::vector<Annotation> &annotations) {
    for (const Annotation &a : annotations)
        if (a.kind == Annotation::Documentation)
            return a.text;
    return nullptr;
}

} // namespace pyglue::annotation_reading
