#include "telegram_bot_class.hpp"

#include "bot_texts.hpp"
#include "chat_gate.hpp"
#include "chat_id.hpp"
#include "class_builder.hpp"
#include "guarded_at_exit.hpp"
#include "truth.hpp"
#include "type_check.hpp"

namespace corvane::telegram {

namespace {

// The commands, each registered under the name of its handler function, in the order
// they are registered (after echo).
const char *const kCommands[] = {"stop",          "balance",      "positions",
                                 "orders",        "deals",        "cancel_order",
                                 "cancel_orders", "send_order",   "close_positions"};

// Sets the request attributes on the library bot to their initial values, in order.
void set_initial_requests(nb::handle library_bot) {
    nb::object no = nb::bool_(false);
    nb::setattr(library_bot, "corvane_status", nb::str("Running"));
    nb::setattr(library_bot, "get_balance", no);
    nb::setattr(library_bot, "get_positions", no);
    nb::setattr(library_bot, "get_orders", no);
    nb::setattr(library_bot, "active_orders", no);
    nb::setattr(library_bot, "num_orders_displayed", nb::int_(1));
    nb::setattr(library_bot, "get_deals", no);
    nb::setattr(library_bot, "num_deals_displayed", nb::int_(1));
    nb::setattr(library_bot, "cancel_order", no);
    nb::setattr(library_bot, "cancel_order_id", nb::none());
    nb::setattr(library_bot, "gateway_name", nb::none());
    nb::setattr(library_bot, "cancel_orders", no);
    nb::setattr(library_bot, "send_order", no);
    nb::setattr(library_bot, "order_string", nb::str(""));
    nb::setattr(library_bot, "close_positions", no);
    nb::setattr(library_bot, "close_positions_gateway_name", nb::none());
}

nb::object library_bot_of(nb::handle self) { return self.attr("updater").attr("bot"); }

// How a property's setter treats the value it is given.
enum class Stored { TruthValue, ExactStr, AsGiven };

void add_request_property(pyglue::ClassBuilder &cls, const char *name, Stored stored) {
    cls.def_property(
        name, [name](nb::handle self) -> nb::object { return library_bot_of(self).attr(name); },
        [name, stored](nb::handle self, nb::object val) {
            nb::object library_bot = library_bot_of(self);
            switch (stored) {
            case Stored::TruthValue:
                nb::setattr(library_bot, name, nb::bool_(pyglue::is_true(val)));
                break;
            case Stored::ExactStr:
                pyglue::require_exact_type(val, &PyUnicode_Type, "val");
                nb::setattr(library_bot, name, val);
                break;
            case Stored::AsGiven:
                nb::setattr(library_bot, name, val);
                break;
            }
        });
}

// Registers the handlers and starts polling; `updater` is stopped again if that fails, so
// a failed start leaves no library thread behind.
void register_and_poll(nb::handle updater, nb::handle module_handlers, nb::handle chat_gate) {
    nb::module_ ext = nb::module_::import_("telegram.ext");
    nb::object command_handler = ext.attr("CommandHandler");
    nb::object filters = ext.attr("Filters");

    nb::object dispatcher = updater.attr("dispatcher");
    // The library hands edited messages to command handlers too; a command edited later
    // (a typo fixed in /send_order) must not run a second time.
    nb::object new_messages_only = ~filters.attr("update").attr("edited_message");
    nb::list handlers;
    for (const char *command : kCommands) {
        nb::object command_callback = module_handlers.attr(command);
        handlers.append(command_handler(command, command_callback,
                                        nb::arg("filters") = new_messages_only));
    }
    nb::object echo_callback = module_handlers.attr("echo");
    nb::object echo_handler = ext.attr("MessageHandler")(
        filters.attr("text") & ~filters.attr("command"), echo_callback);

    // The gate runs first, in a group of its own, for every update.
    nb::object update_type = nb::module_::import_("telegram").attr("Update");
    dispatcher.attr("add_handler")(ext.attr("TypeHandler")(update_type, chat_gate),
                                   nb::arg("group") = -1);
    dispatcher.attr("add_handler")(echo_handler);
    for (nb::handle handler : handlers)
        dispatcher.attr("add_handler")(handler);

    try {
        updater.attr("start_polling")();
    } catch (nb::python_error &) {
        try {
            updater.attr("stop")();
        } catch (nb::python_error &) {
            // The start-up error is the one to report.
        }
        throw;
    }
}

bool still_polling(nb::handle self) {
    nb::object updater = self.attr("updater");
    nb::object running = updater.attr("running");
    if (pyglue::is_true(running))
        return true;
    nb::object dispatcher = updater.attr("dispatcher");
    nb::object dispatching = dispatcher.attr("has_running_threads");
    return pyglue::is_true(dispatching);
}

void stop_updater(nb::handle self) { self.attr("updater").attr("stop")(); }

nb::object not_closed_warning(std::size_t count) {
    return nb::str("TelegramBot was not closed: {} bot(s) still polling at exit are stopped "
                   "now; call close() when done with a TelegramBot")
        .format(count);
}

// The bots whose updater may be polling. Held strongly: a bot whose module failed to import
// after it started polling is reachable from nowhere else.
nb::object polling_bots_with_exit_hook() {
    pyglue::ExitGuard guard{&still_polling, &stop_updater, &not_closed_warning,
                            "stopping the TelegramBots left polling"};
    return pyglue::guarded_set_with_exit_hook(std::move(guard), /*weakly=*/false);
}

} // namespace

nb::object make_telegram_bot_class(nb::module_ &m, const TelegramBotSettings &settings) {
    // The handlers are kept in a namespace of their own rather than through the module, so
    // the class holds no reference back to the module that made it.
    nb::object types = nb::module_::import_("types");
    nb::object handlers = types.attr("SimpleNamespace")();
    for (const char *command : kCommands)
        nb::setattr(handlers, command, m.attr(command));
    nb::setattr(handlers, "echo", m.attr("echo"));

    pyglue::ClassBuilder cls(m, "TelegramBot", nb::tuple(), kTelegramBotDoc);
    nb::object polling = polling_bots_with_exit_hook();

    cls.def(
        "__init__",
        [settings, handlers, polling](nb::handle self, nb::object token) {
            pyglue::require_exact_type(token, &PyUnicode_Type, "token");
            nb::object request = nb::module_::import_("telegram.utils.request")
                                     .attr("Request")(nb::arg("con_pool_size") =
                                                          settings.connection_pool_size);
            nb::object library_bot = settings.library_bot_class(
                nb::arg("token") = token, nb::arg("base_url") = settings.base_url,
                nb::arg("request") = request);
            nb::object updater = nb::module_::import_("telegram.ext").attr("Updater")(
                nb::arg("use_context") = true, nb::arg("bot") = library_bot);
            nb::setattr(self, "updater", updater);
            set_initial_requests(updater.attr("bot"));
            nb::object last_chat = last_chat_holder();
            nb::setattr(self, "_last_chat", last_chat);
            nb::object chat_gate =
                make_chat_gate(settings.default_chat_id, settings.logger, last_chat);
            // Guarded before polling starts: nothing between the two may leave it unguarded.
            polling.attr("add")(self);
            try {
                register_and_poll(updater, handlers, chat_gate);
            } catch (nb::python_error &) {
                polling.attr("discard")(self); // the updater was stopped again
                throw;
            }
        },
        nb::arg("token").none());

    add_request_property(cls, "corvane_status", Stored::ExactStr);
    add_request_property(cls, "get_balance", Stored::TruthValue);
    add_request_property(cls, "get_positions", Stored::TruthValue);
    add_request_property(cls, "get_orders", Stored::TruthValue);
    add_request_property(cls, "num_orders_displayed", Stored::AsGiven);
    add_request_property(cls, "active_orders", Stored::TruthValue);
    add_request_property(cls, "get_deals", Stored::TruthValue);
    add_request_property(cls, "num_deals_displayed", Stored::AsGiven);
    add_request_property(cls, "cancel_order", Stored::TruthValue);
    add_request_property(cls, "cancel_order_id", Stored::AsGiven);
    add_request_property(cls, "gateway_name", Stored::AsGiven);
    add_request_property(cls, "cancel_orders", Stored::TruthValue);
    add_request_property(cls, "send_order", Stored::TruthValue);
    add_request_property(cls, "order_string", Stored::AsGiven);
    add_request_property(cls, "close_positions", Stored::TruthValue);
    add_request_property(cls, "close_positions_gateway_name", Stored::AsGiven);

    cls.def(
        "send_message",
        [](nb::handle self, nb::object msg, nb::object chat_id) {
            std::optional<nb::object> chat = chat_id_as_int(chat_id);
            if (!chat)
                pyglue::raise_incorrect_type(chat_id, "int", "chat_id");
            pyglue::require_exact_type(msg, &PyUnicode_Type, "msg");
            library_bot_of(self).attr("send_message")(nb::arg("chat_id") = *chat,
                                                      nb::arg("text") = msg);
        },
        nb::arg("msg").none(), nb::arg("chat_id").none() = settings.default_chat_id);

    cls.def("get_updates", [](nb::handle self) {
        nb::object updates = library_bot_of(self).attr("get_updates")();
        nb::setattr(self, "updates", updates);
        nb::object print = nb::module_::import_("builtins").attr("print");
        if (nb::len(updates) == 0)
            print("No pending update: send the bot a message first.");
        else {
            nb::object first_update = updates[0];
            print(first_update);
        }
    });

    cls.def("get_chat_id", [](nb::handle self) -> nb::object {
        // While the bot polls, its poller has taken every message before get_updates
        // could: the chat is the one of the last update the bot received.
        if (pyglue::is_true(self.attr("updater").attr("running"))) {
            nb::object chat_id = self.attr("_last_chat").attr("id");
            if (chat_id.is_none()) {
                PyErr_SetString(PyExc_RuntimeError,
                                "The bot has received no message yet: send the bot a "
                                "message in Telegram, then call get_chat_id() again");
                throw nb::python_error();
            }
            return chat_id;
        }
        self.attr("get_updates")();
        nb::object updates = self.attr("updates");
        if (nb::len(updates) == 0) {
            PyErr_SetString(PyExc_RuntimeError,
                            "No pending update to take the chat id from: send the bot a "
                            "message in Telegram first, then call get_chat_id() again");
            throw nb::python_error();
        }
        return updates[0].attr("message").attr("from_user").attr("id");
    });

    cls.def("close", [polling](nb::handle self) {
        self.attr("updater").attr("stop")();
        polling.attr("discard")(self);
    });

    return cls.get();
}

} // namespace corvane::telegram
