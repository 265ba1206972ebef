// The gate in front of every handler: only the authorised chat may use the bot.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::telegram {

namespace nb = nanobind;

// A callback (update, context) for a handler of its own that runs before all others. It
// lets through updates from `authorised_chat_id` (an int; None authorises nobody) and stops
// the handling of any other update, so that it changes nothing and gets no reply. Each
// refused chat is logged once, at warning level, on `logger`. The chat of every update
// that has one, refused or not, is kept as `last_chat.id`.
nb::object make_chat_gate(nb::object authorised_chat_id, nb::object logger,
                          nb::object last_chat);

// Where a gate keeps the last chat it saw: an object whose `id` is None until then.
nb::object last_chat_holder();

} // namespace corvane::telegram
