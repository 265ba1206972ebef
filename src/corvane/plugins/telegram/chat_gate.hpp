// The gate in front of every handler: only the authorised chat may use the bot.
#pragma once

#include <nanobind/nanobind.h>

#include "bot_scope.hpp"

namespace corvane::telegram {

// A callback (update, context) for a handler of its own that runs before all others. It
// lets through updates from the scope's default chat (an int; None authorises nobody) and
// stops the handling of any other update, so that it changes nothing and gets no reply.
// Each refused chat is logged once, at warning level, on the scope's logger. The chat of
// every update that has one, refused or not, is kept as `last_chat.id`.
nb::object make_chat_gate(ScopeRef scope, nb::object last_chat);

// Where a gate keeps the last chat it saw: an object whose `id` is None until then.
nb::object last_chat_holder(ScopeRef scope);

} // namespace corvane::telegram
