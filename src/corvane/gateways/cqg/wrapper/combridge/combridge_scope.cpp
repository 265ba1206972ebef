#include "combridge_scope.hpp"

#include "safe_access.hpp"

namespace corvane::bridge {

Scope::Scope(nb::handle module)
    : builtins(nb::module_::import_("builtins")), sys(pyglue::read(module, "sys")) {}

SharedScope snapshot(const Scope &scope) {
    return std::make_shared<const Scope>(scope);
}

} // namespace corvane::bridge
