#include "chat_gate.hpp"

namespace corvane::telegram {

nb::object last_chat_holder() {
    return nb::module_::import_("types").attr("SimpleNamespace")(nb::arg("id") = nb::none());
}

nb::object make_chat_gate(nb::object authorised_chat_id, nb::object logger,
                          nb::object last_chat) {
    nb::set refused_chats;
    return nb::cpp_function(
        [authorised_chat_id, logger, refused_chats, last_chat](nb::handle update, nb::handle) {
            nb::object chat = update.attr("effective_chat");
            nb::object chat_id = chat.is_none() ? nb::none() : chat.attr("id");
            if (!chat_id.is_none())
                nb::setattr(last_chat, "id", chat_id);
            if (!authorised_chat_id.is_none() && chat_id.equal(authorised_chat_id))
                return;
            nb::set refused = refused_chats; // the same set, through a non-const handle
            if (!refused.contains(chat_id)) {
                refused.add(chat_id);
                logger.attr("warning")(
                    "Ignoring updates from chat %s: only the chat set as TELEGRAM_CHAT_ID "
                    "(%s) may use this bot",
                    chat_id, authorised_chat_id);
            }
            nb::object stop_handling =
                nb::module_::import_("telegram.ext").attr("DispatcherHandlerStop");
            PyErr_SetNone(stop_handling.ptr());
            throw nb::python_error();
        },
        nb::arg("update"), nb::arg("context"), nb::name("chat_gate"));
}

} // namespace corvane::telegram
