// The bot's settings in corvane_config, checked when the module is made.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::telegram {

namespace nb = nanobind;

// send_message's default chat, fixed now: None stays None, a number becomes an int;
// anything else raises TypeError.
nb::object configured_default_chat_id(nb::handle configured);

// TELEGRAM_BASE_URL: a str, or None (also when it is not set) for Telegram's own.
nb::object configured_base_url(nb::handle config);

// TELEGRAM_CONNECTION_POOL_SIZE: an int of at least 1, or None (also when it is not set)
// for the default.
nb::object configured_pool_size(nb::handle config);

} // namespace corvane::telegram
