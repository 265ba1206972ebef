// The Telegram bot plug-in. Importing it creates the one TelegramBot, `bot`, which polls
// Telegram from then on; the module keeps all its state on that object, so importing it
// afresh (after dropping it from sys.modules) makes a new bot from the configuration of
// that moment.
#include <nanobind/nanobind.h>

#include "bot_texts.hpp"
#include "chat_id.hpp"
#include "handlers.hpp"
#include "module_imports.hpp"
#include "module_init.hpp"
#include "telegram_bot_class.hpp"

namespace nb = nanobind;
using namespace corvane::telegram;

namespace {

// The library bot class: ExtBot with one slot for the run state. The other request
// attributes live in the instance dictionary the library's objects already have.
nb::object make_library_bot_class(nb::module_ &m, nb::handle ext_bot) {
    nb::object module_name = m.attr("__name__");
    nb::dict ns;
    ns["__module__"] = module_name;
    ns["__qualname__"] = nb::str("CustomedExtBot");
    ns["__doc__"] = nb::str("The library bot, carrying the plug-in's request attributes.");
    ns["__slots__"] = nb::make_tuple("corvane_status");
    return ext_bot.type()(nb::str("CustomedExtBot"), nb::make_tuple(ext_bot), ns);
}

// send_message's default chat, fixed now: None stays None, a number becomes an int.
nb::object default_chat_id(nb::handle configured) {
    if (configured.is_none())
        return nb::none();
    std::optional<nb::object> chat = chat_id_as_int(configured);
    if (!chat) {
        PyErr_Format(PyExc_TypeError, "Expected %.200s, got %.200s", "int",
                     Py_TYPE(configured.ptr())->tp_name);
        throw nb::python_error();
    }
    return *chat;
}

nb::object configured_base_url(nb::handle config) {
    nb::object base_url = nb::getattr(config, "TELEGRAM_BASE_URL", nb::none());
    if (!base_url.is_none() && !PyUnicode_Check(base_url.ptr())) {
        PyErr_Format(PyExc_TypeError, "TELEGRAM_BASE_URL must be a str or None, got %.200s",
                     Py_TYPE(base_url.ptr())->tp_name);
        throw nb::python_error();
    }
    return base_url;
}

// The Updater runs 4 workers; with its dispatcher, poller, job queue and the engine's
// thread that makes 8 users of the bot's connection pool. A strategy that sends from more
// threads at once sets TELEGRAM_CONNECTION_POOL_SIZE, or urllib3 discards the connections
// the pool has no room for (with a warning each).
constexpr long kDefaultConnectionPoolSize = 8;

nb::object configured_pool_size(nb::handle config) {
    nb::object size = nb::getattr(config, "TELEGRAM_CONNECTION_POOL_SIZE", nb::none());
    if (size.is_none())
        return nb::int_(kDefaultConnectionPoolSize);
    if (!PyLong_CheckExact(size.ptr())) {
        PyErr_Format(PyExc_TypeError,
                     "TELEGRAM_CONNECTION_POOL_SIZE must be an int or None, got %.200s",
                     Py_TYPE(size.ptr())->tp_name);
        throw nb::python_error();
    }
    int overflow = 0;
    long long count = PyLong_AsLongLongAndOverflow(size.ptr(), &overflow);
    if (overflow != 0 || count < 1) {
        PyErr_Format(PyExc_ValueError,
                     "TELEGRAM_CONNECTION_POOL_SIZE must be at least 1, got %R", size.ptr());
        throw nb::python_error();
    }
    return size;
}

} // namespace

PYGLUE_MODULE(bot, m) {
    m.attr("__doc__") = nb::str(kModuleDoc);

    // `from datetime import datetime`, as the other names come from their modules.
    nb::object datetime_class = nb::module_::import_("datetime").attr("datetime");
    m.attr("datetime") = datetime_class;
    nb::object update_type = nb::module_::import_("telegram").attr("Update");
    m.attr("Update") = update_type;
    nb::module_ ext = nb::module_::import_("telegram.ext");
    for (const char *name : {"Updater", "ExtBot", "CallbackContext", "CommandHandler",
                             "MessageHandler", "Filters"}) {
        nb::object ext_member = ext.attr(name);
        m.attr(name) = ext_member;
    }

    nb::module_ config = nb::module_::import_("corvane_config");
    m.attr("TELEGRAM_TOKEN") = pyglue::import_name(config, "TELEGRAM_TOKEN");
    m.attr("TELEGRAM_CHAT_ID") = pyglue::import_name(config, "TELEGRAM_CHAT_ID");
    m.attr("TELEGRAM_BASE_URL") = configured_base_url(config);

    m.attr("CustomedExtBot") = make_library_bot_class(m, ext.attr("ExtBot"));
    define_handlers(m);

    TelegramBotSettings settings;
    settings.library_bot_class = m.attr("CustomedExtBot");
    settings.default_chat_id = default_chat_id(m.attr("TELEGRAM_CHAT_ID"));
    settings.base_url = m.attr("TELEGRAM_BASE_URL");
    settings.connection_pool_size = configured_pool_size(config);
    nb::object module_name = m.attr("__name__");
    settings.logger = nb::module_::import_("logging").attr("getLogger")(module_name);
    m.attr("TelegramBot") = make_telegram_bot_class(m, settings);

    if (settings.default_chat_id.is_none())
        settings.logger.attr("warning")(
            "TELEGRAM_CHAT_ID is None: the bot accepts no command until it is set in "
            "corvane_config (send the bot a message and call bot.get_chat_id() to find it)");
    nb::object token = m.attr("TELEGRAM_TOKEN");
    m.attr("bot") = m.attr("TelegramBot")(nb::arg("token") = token);
}
