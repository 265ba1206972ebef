#include "polling.hpp"

#include "guarded_at_exit.hpp"
#include "handlers.hpp"
#include "safe_access.hpp"
#include "truth.hpp"

namespace corvane::telegram {

using pyglue::call_method;
using pyglue::read;

namespace {

// The library hands edited messages to command handlers too; a command edited later (a
// typo fixed in /send_order) must not run a second time.
nb::object new_messages_only(nb::handle filters) {
    nb::object update_filters = read(filters, "update");
    nb::object edited_message = read(update_filters, "edited_message");
    return ~edited_message;
}

// Text that is not a command, for echo.
nb::object plain_text(nb::handle filters) {
    nb::object text = read(filters, "text");
    nb::object command = read(filters, "command");
    return text & ~command;
}

bool still_polling(nb::handle self) {
    nb::object updater = read(self, "updater");
    nb::object running = read(updater, "running");
    if (pyglue::is_true(running))
        return true;
    nb::object dispatcher = read(updater, "dispatcher");
    nb::object dispatching = read(dispatcher, "has_running_threads");
    return pyglue::is_true(dispatching);
}

void stop_updater(nb::handle self) {
    nb::object updater = read(self, "updater");
    call_method(updater, "stop");
}

nb::object not_closed_warning(std::size_t count) {
    return nb::str("TelegramBot was not closed: {} bot(s) still polling at exit are stopped "
                   "now; call close() when done with a TelegramBot")
        .format(count);
}

} // namespace

void register_and_poll(ScopeRef scope, nb::handle updater, nb::handle chat_gate) {
    nb::object CommandHandler = read(scope.telegram_ext, "CommandHandler");
    nb::object filters = read(scope.telegram_ext, "Filters");

    nb::object dispatcher = read(updater, "dispatcher");
    nb::object commands_filter = new_messages_only(filters);
    nb::list handlers;
    for (const char *command : kCommands) {
        nb::object command_callback = read(scope.handlers, command);
        handlers.append(CommandHandler(command, command_callback,
                                       nb::arg("filters") = commands_filter));
    }
    nb::object echo_callback = read(scope.handlers, "echo");
    nb::object MessageHandler = read(scope.telegram_ext, "MessageHandler");
    nb::object echo_filter = plain_text(filters);
    nb::object echo_handler = MessageHandler(echo_filter, echo_callback);

    // The gate runs first, in a group of its own, for every update.
    nb::object Update = read(scope.telegram, "Update");
    nb::object TypeHandler = read(scope.telegram_ext, "TypeHandler");
    nb::object gate_handler = TypeHandler(Update, chat_gate);
    nb::object add_handler = read(dispatcher, "add_handler");
    add_handler(gate_handler, nb::arg("group") = -1);
    call_method(dispatcher, "add_handler", echo_handler);
    for (nb::handle handler : handlers)
        call_method(dispatcher, "add_handler", handler);

    try {
        call_method(updater, "start_polling");
    } catch (nb::python_error &) {
        try {
            call_method(updater, "stop");
        } catch (nb::python_error &) {
            // The start-up error is the one to report.
        }
        throw;
    }
}

nb::object polling_bots_with_exit_hook() {
    pyglue::ExitGuard guard{&still_polling, &stop_updater, &not_closed_warning,
                            "stopping the TelegramBots left polling"};
    return pyglue::guarded_set_with_exit_hook(std::move(guard), /*weakly=*/false);
}

} // namespace corvane::telegram
