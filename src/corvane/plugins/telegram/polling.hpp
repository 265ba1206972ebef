// A TelegramBot's polling: its handlers registered on the library's dispatcher behind the
// chat gate, the start of the poller, and the bots left polling at exit stopped.
#pragma once

#include <nanobind/nanobind.h>

#include "bot_scope.hpp"

namespace corvane::telegram {

// Registers the gate and the handlers and starts polling; `updater` is stopped again if
// that fails, so a failed start leaves no library thread behind.
void register_and_poll(ScopeRef scope, nb::handle updater, nb::handle chat_gate);

// The set of the bots whose updater may be polling, with the exit hook that stops those
// still in it. Held strongly: a bot whose module failed to import after it started polling
// is reachable from nowhere else.
nb::object polling_bots_with_exit_hook();

} // namespace corvane::telegram
