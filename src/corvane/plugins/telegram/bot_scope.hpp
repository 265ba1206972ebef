// The state of one `bot` module instance: the library modules its methods read classes
// from (at the moment of use, as before a module is replaced), and what is fixed when the
// module is made. The TelegramBot class holds it, not the module, so the class keeps no
// reference back to the module that made it.
#pragma once

#include <nanobind/nanobind.h>

#include <memory>

namespace corvane::telegram {

namespace nb = nanobind;

struct Scope {
    // Made once the module's imports, configuration, CustomedExtBot and handler functions
    // are bound in `module`; `config` is corvane_config. A bad setting fails the import.
    Scope(nb::handle module, nb::handle config);

    nb::module_ telegram;         // Update
    nb::module_ telegram_ext;     // Updater, CommandHandler, MessageHandler, TypeHandler,
                                  // Filters, DispatcherHandlerStop
    nb::module_ telegram_request; // Request (telegram.utils.request)
    nb::module_ types;            // SimpleNamespace
    nb::module_ builtins;         // print

    nb::object library_bot_class;    // CustomedExtBot
    nb::object default_chat_id;      // send_message's default chat, and the one chat let in
    nb::object base_url;             // the Bot API's base URL, or None for Telegram's own
    nb::object connection_pool_size; // connections kept for the threads that use the bot
    nb::object logger;               // logging.getLogger(<module name>)
    nb::object handlers;             // the handler functions, by command name, and echo
    nb::object polling;              // the bots whose updater may be polling (polling.hpp)
};

using ScopeRef = const Scope &;
using SharedScope = std::shared_ptr<const Scope>;

} // namespace corvane::telegram
