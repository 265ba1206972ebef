#include "security_scope.hpp"

#include "safe_access.hpp"

namespace corvane::security {

Scope::Scope(nb::handle module) : exchange(pyglue::read(module, "Exchange")) {}

} // namespace corvane::security
