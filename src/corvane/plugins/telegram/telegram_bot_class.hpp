// TelegramBot: the plug-in's object. It owns the library's Updater, whose bot carries the
// request attributes, registers the handlers and polls from construction on; the engine
// reads and clears the requests through its properties and answers with send_message.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::telegram {

namespace nb = nanobind;

// What the class is made with; all of it is fixed when the class is made.
struct TelegramBotSettings {
    nb::object library_bot_class; // CustomedExtBot
    nb::object default_chat_id;   // send_message's default chat, and the one chat let in
    nb::object base_url;          // the Bot API's base URL, or None for Telegram's own
    nb::object connection_pool_size; // connections kept for the threads that use the bot
    nb::object logger;
};

// Builds TelegramBot in `m`, whose handler functions must already be defined.
nb::object make_telegram_bot_class(nb::module_ &m, const TelegramBotSettings &settings);

} // namespace corvane::telegram
