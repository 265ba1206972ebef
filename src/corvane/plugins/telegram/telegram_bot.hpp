// TelegramBot: the plug-in's object. It owns the library's Updater, whose bot carries the
// request attributes, registers the handlers and polls from construction on; the engine
// reads and clears the requests through its properties and answers with send_message.
// These are its methods; the module file holds their table.
#pragma once

#include <nanobind/nanobind.h>

#include "bot_scope.hpp"

namespace corvane::telegram {

// TelegramBot.__init__: the library bot and its Updater, the gate, then polling.
void construct_bot(ScopeRef scope, nb::handle self, nb::object token);

// Sends `msg` to `chat_id` (a number, made an int) through the library bot.
void send_message(nb::handle self, nb::object msg, nb::object chat_id);

// Keeps the pending updates as `self.updates` and prints the first.
void get_updates(ScopeRef scope, nb::handle self);

// The chat of the last update received while polling, else of the first pending update.
nb::object get_chat_id(nb::handle self);

// Stops polling; the bot leaves the set stopped at exit.
void close_bot(ScopeRef scope, nb::handle self);

} // namespace corvane::telegram
