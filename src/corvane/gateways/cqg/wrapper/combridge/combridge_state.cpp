#include "combridge_state.hpp"

#include "safe_access.hpp"

namespace corvane::bridge {

BridgeState::BridgeState(nb::handle module)
    : builtins(nb::module_::import_("builtins")), sys(pyglue::read(module, "sys")) {}

SharedState snapshot(const BridgeState &state) {
    return std::make_shared<const BridgeState>(state);
}

} // namespace corvane::bridge
