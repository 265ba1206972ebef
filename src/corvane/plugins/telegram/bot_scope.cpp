#include "bot_scope.hpp"

#include "configured_settings.hpp"
#include "handlers.hpp"
#include "polling.hpp"
#include "safe_access.hpp"

namespace corvane::telegram {

using pyglue::read;

namespace {

// The handlers in a namespace of their own rather than through the module.
nb::object handler_namespace(nb::handle module, nb::handle types) {
    nb::object SimpleNamespace = read(types, "SimpleNamespace");
    nb::object handlers = SimpleNamespace();
    for (const char *command : kCommands) {
        nb::object handler = read(module, command);
        pyglue::write(handlers, command, handler);
    }
    nb::object echo_handler = read(module, "echo");
    pyglue::write(handlers, "echo", echo_handler);
    return handlers;
}

nb::object module_logger(nb::handle module) {
    nb::object module_name = read(module, "__name__");
    nb::object logging = nb::module_::import_("logging");
    return pyglue::call_method(logging, "getLogger", module_name);
}

} // namespace

Scope::Scope(nb::handle module, nb::handle config)
    : telegram(nb::module_::import_("telegram")),
      telegram_ext(nb::module_::import_("telegram.ext")),
      telegram_request(nb::module_::import_("telegram.utils.request")),
      types(nb::module_::import_("types")), builtins(nb::module_::import_("builtins")),
      library_bot_class(read(module, "CustomedExtBot")),
      default_chat_id(configured_default_chat_id(read(module, "TELEGRAM_CHAT_ID"))),
      base_url(read(module, "TELEGRAM_BASE_URL")),
      connection_pool_size(configured_pool_size(config)), logger(module_logger(module)),
      handlers(handler_namespace(module, types)), polling(polling_bots_with_exit_hook()) {}

} // namespace corvane::telegram
