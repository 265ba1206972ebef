#include "telegram_bot.hpp"

#include <optional>

#include "chat_gate.hpp"
#include "chat_id.hpp"
#include "errors.hpp"
#include "polling.hpp"
#include "request_attributes.hpp"
#include "safe_access.hpp"
#include "truth.hpp"
#include "type_check.hpp"

namespace corvane::telegram {

using pyglue::call_method;
using pyglue::read;
using pyglue::write;

namespace {

nb::object make_updater(ScopeRef scope, nb::handle token) {
    nb::object Request = read(scope.telegram_request, "Request");
    nb::object request = Request(nb::arg("con_pool_size") = scope.connection_pool_size);
    nb::object library_bot =
        scope.library_bot_class(nb::arg("token") = token, nb::arg("base_url") = scope.base_url,
                                nb::arg("request") = request);
    nb::object Updater = read(scope.telegram_ext, "Updater");
    return Updater(nb::arg("use_context") = true, nb::arg("bot") = library_bot);
}

} // namespace

void construct_bot(ScopeRef scope, nb::handle self, nb::object token) {
    pyglue::require_exact_type(token, &PyUnicode_Type, "token");
    nb::object updater = make_updater(scope, token);
    write(self, "updater", updater);
    nb::object library_bot = read(updater, "bot");
    set_initial_requests(library_bot);
    nb::object last_chat = last_chat_holder(scope);
    write(self, "_last_chat", last_chat);
    nb::object chat_gate = make_chat_gate(scope, last_chat);
    // Guarded before polling starts: nothing between the two may leave it unguarded.
    call_method(scope.polling, "add", self);
    try {
        register_and_poll(scope, updater, chat_gate);
    } catch (nb::python_error &) {
        call_method(scope.polling, "discard", self); // the updater was stopped again
        throw;
    }
}

void send_message(nb::handle self, nb::object msg, nb::object chat_id) {
    std::optional<nb::object> chat = chat_id_as_int(chat_id);
    if (!chat)
        pyglue::raise_incorrect_type(chat_id, "int", "chat_id");
    pyglue::require_exact_type(msg, &PyUnicode_Type, "msg");
    nb::object library_bot = library_bot_of(self);
    nb::object send = read(library_bot, "send_message");
    send(nb::arg("chat_id") = *chat, nb::arg("text") = msg);
}

void get_updates(ScopeRef scope, nb::handle self) {
    nb::object library_bot = library_bot_of(self);
    nb::object updates = call_method(library_bot, "get_updates");
    write(self, "updates", updates);
    nb::object print = read(scope.builtins, "print");
    if (nb::len(updates) == 0) {
        print("No pending update: send the bot a message first.");
    } else {
        nb::object first_update = updates[0];
        print(first_update);
    }
}

nb::object get_chat_id(nb::handle self) {
    // While the bot polls, its poller has taken every message before get_updates could:
    // the chat is the one of the last update the bot received.
    nb::object updater = read(self, "updater");
    nb::object running = read(updater, "running");
    if (pyglue::is_true(running)) {
        nb::object last_chat = read(self, "_last_chat");
        nb::object chat_id = read(last_chat, "id");
        if (chat_id.is_none())
            pyglue::raise_error(PyExc_RuntimeError,
                                "The bot has received no message yet: send the bot a "
                                "message in Telegram, then call get_chat_id() again");
        return chat_id;
    }
    call_method(self, "get_updates");
    nb::object updates = read(self, "updates");
    if (nb::len(updates) == 0)
        pyglue::raise_error(PyExc_RuntimeError,
                            "No pending update to take the chat id from: send the bot a "
                            "message in Telegram first, then call get_chat_id() again");
    nb::object first_update = updates[0];
    nb::object message = read(first_update, "message");
    nb::object from_user = read(message, "from_user");
    return read(from_user, "id");
}

void close_bot(ScopeRef scope, nb::handle self) {
    nb::object updater = read(self, "updater");
    call_method(updater, "stop");
    call_method(scope.polling, "discard", self);
}

} // namespace corvane::telegram
