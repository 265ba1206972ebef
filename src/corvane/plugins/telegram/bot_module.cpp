// The Telegram bot plug-in. Importing it creates the one TelegramBot, `bot`, which polls
// Telegram from then on; the module keeps all its state on that object, so importing it
// afresh (after dropping it from sys.modules) makes a new bot from the configuration of
// that moment. Each concern (the settings, the request attributes, the handlers, the gate,
// polling, TelegramBot's methods) is a file of plain functions; this file lays out the
// module and holds the ordered tables of its handlers and of TelegramBot's members.
#include <nanobind/nanobind.h>

#include <memory>

#include "bot_scope.hpp"
#include "bot_texts.hpp"
#include "class_builder.hpp"
#include "configured_settings.hpp"
#include "handlers.hpp"
#include "module_function.hpp"
#include "module_imports.hpp"
#include "module_init.hpp"
#include "request_attributes.hpp"
#include "safe_access.hpp"
#include "telegram_bot.hpp"
#include "with_context.hpp"

namespace nb = nanobind;

namespace {

using pyglue::read;
using pyglue::write;

// The module's imports, in order; any failure fails the import of the module.
void import_dependencies(nb::module_ &m) {
    pyglue::import_names(m, "datetime", {"datetime"});
    pyglue::import_names(m, "telegram", {"Update"});
    pyglue::import_names(m, "telegram.ext", {"Updater", "ExtBot", "CallbackContext",
                                             "CommandHandler", "MessageHandler", "Filters"});
}

// The bot's settings, bound as the module's names.
void bind_configuration(nb::module_ &m, nb::handle config) {
    nb::object token = pyglue::import_name(config, "TELEGRAM_TOKEN");
    write(m, "TELEGRAM_TOKEN", token);
    nb::object chat_id = pyglue::import_name(config, "TELEGRAM_CHAT_ID");
    write(m, "TELEGRAM_CHAT_ID", chat_id);
    nb::object base_url = corvane::telegram::configured_base_url(config);
    write(m, "TELEGRAM_BASE_URL", base_url);
}

// The handler functions, in the order the module defines them.
void define_handlers(nb::module_ &m) {
    using namespace corvane::telegram;
    using pyglue::def_function;
    const auto update = nb::arg("update");
    const auto context = nb::arg("context");
    def_function(m, "echo", &echo, update, context, "Echo a text message that is not a command.");
    def_function(m, "stop", &stop, update, context, "/stop: ask the strategy to stop.");
    def_function(m, "balance", &balance, update, context, "/balance: ask for the account balance.");
    def_function(m, "positions", &positions, update, context, "/positions: ask for the positions.");
    def_function(m, "orders", &orders, update, context,
                 "/orders [-a] [n]: ask for the last n orders, only active ones with -a.");
    def_function(m, "deals", &deals, update, context, "/deals [n]: ask for the last n deals.");
    def_function(m, "cancel_orders", &cancel_orders, update, context,
                 "/cancel_orders: ask to cancel all active orders.");
    def_function(m, "cancel_order", &cancel_order, update, context,
                 "/cancel_order order_id gateway_name: ask to cancel one order.");
    def_function(m, "send_order", &send_order, update, context, kSendOrderUsage);
    def_function(m, "close_positions", &close_positions, update, context,
                 "/close_positions [gateway_name]: ask to close positions, all or one gateway's.");
}

// A request attribute as a property of TelegramBot (request_attributes.hpp).
void request_property(pyglue::ClassBuilder &cls, const char *name,
                      corvane::telegram::Stored stored) {
    using namespace corvane::telegram;
    auto attribute = std::make_shared<const RequestAttribute>(RequestAttribute{name, stored});
    cls.def_property(name, pyglue::with_context(attribute, &read_request),
                     pyglue::with_context(attribute, &store_request));
}

nb::object make_telegram_bot(nb::module_ &m, corvane::telegram::SharedScope scope) {
    using namespace corvane::telegram;
    using pyglue::with_context;

    pyglue::ClassBuilder cls(m, "TelegramBot", nb::tuple(), kTelegramBotDoc);
    // TelegramBot's members, in the order the class defines them.
    cls.def("__init__", with_context(scope, &construct_bot), nb::arg("token").none());
    request_property(cls, "corvane_status", Stored::ExactStr);
    request_property(cls, "get_balance", Stored::TruthValue);
    request_property(cls, "get_positions", Stored::TruthValue);
    request_property(cls, "get_orders", Stored::TruthValue);
    request_property(cls, "num_orders_displayed", Stored::AsGiven);
    request_property(cls, "active_orders", Stored::TruthValue);
    request_property(cls, "get_deals", Stored::TruthValue);
    request_property(cls, "num_deals_displayed", Stored::AsGiven);
    request_property(cls, "cancel_order", Stored::TruthValue);
    request_property(cls, "cancel_order_id", Stored::AsGiven);
    request_property(cls, "gateway_name", Stored::AsGiven);
    request_property(cls, "cancel_orders", Stored::TruthValue);
    request_property(cls, "send_order", Stored::TruthValue);
    request_property(cls, "order_string", Stored::AsGiven);
    request_property(cls, "close_positions", Stored::TruthValue);
    request_property(cls, "close_positions_gateway_name", Stored::AsGiven);
    cls.def("send_message", &send_message, nb::arg("msg").none(),
            nb::arg("chat_id").none() = scope->default_chat_id)
        .def("get_updates", with_context(scope, &get_updates))
        .def("get_chat_id", &get_chat_id)
        .def("close", with_context(scope, &close_bot));
    return cls.get();
}

void warn_if_no_chat(corvane::telegram::ScopeRef scope) {
    if (scope.default_chat_id.is_none())
        pyglue::call_method(
            scope.logger, "warning",
            "TELEGRAM_CHAT_ID is None: the bot accepts no command until it is set in "
            "corvane_config (send the bot a message and call bot.get_chat_id() to find it)");
}

} // namespace

PYGLUE_MODULE(bot, m) {
    write(m, "__doc__", nb::str(corvane::telegram::kModuleDoc));
    import_dependencies(m);
    nb::module_ config = nb::module_::import_("corvane_config");
    bind_configuration(m, config);
    nb::object ext_bot = read(m, "ExtBot");
    nb::object library_bot_class = corvane::telegram::make_library_bot_class(m, ext_bot);
    write(m, "CustomedExtBot", library_bot_class);
    define_handlers(m);

    auto scope = std::make_shared<const corvane::telegram::Scope>(m, config);
    nb::object telegram_bot = make_telegram_bot(m, scope);
    write(m, "TelegramBot", telegram_bot);

    warn_if_no_chat(*scope);
    nb::object token = read(m, "TELEGRAM_TOKEN");
    nb::object TelegramBot = read(m, "TelegramBot");
    nb::object bot = TelegramBot(nb::arg("token") = token);
    write(m, "bot", bot);
}
