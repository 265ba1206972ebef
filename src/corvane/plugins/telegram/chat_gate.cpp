#include "chat_gate.hpp"

#include <memory>

#include "errors.hpp"
#include "safe_access.hpp"
#include "with_context.hpp"

namespace corvane::telegram {

using pyglue::read;

namespace {

// What one gate keeps: the chat let in, where refusals are logged, the chats refused so far
// and the last chat seen.
struct ChatGate {
    nb::object authorised_chat_id;
    nb::object logger;
    nb::module_ telegram_ext; // DispatcherHandlerStop
    nb::object last_chat;
    nb::set refused_chats;
};

void log_refusal_once(const ChatGate &gate, nb::handle chat_id) {
    nb::set refused = gate.refused_chats; // the same set, through a non-const handle
    if (refused.contains(chat_id))
        return;
    refused.add(chat_id);
    pyglue::call_method(gate.logger, "warning",
                        "Ignoring updates from chat %s: only the chat set as TELEGRAM_CHAT_ID "
                        "(%s) may use this bot",
                        chat_id, gate.authorised_chat_id);
}

void admit_update(const ChatGate &gate, nb::handle update, nb::handle) {
    nb::object chat = read(update, "effective_chat");
    nb::object chat_id = chat.is_none() ? nb::none() : read(chat, "id");
    if (!chat_id.is_none())
        pyglue::write(gate.last_chat, "id", chat_id);
    if (!gate.authorised_chat_id.is_none() && chat_id.equal(gate.authorised_chat_id))
        return;
    log_refusal_once(gate, chat_id);
    nb::object stop_handling = read(gate.telegram_ext, "DispatcherHandlerStop");
    pyglue::raise_type(stop_handling);
}

} // namespace

nb::object last_chat_holder(ScopeRef scope) {
    nb::object SimpleNamespace = read(scope.types, "SimpleNamespace");
    return SimpleNamespace(nb::arg("id") = nb::none());
}

nb::object make_chat_gate(ScopeRef scope, nb::object last_chat) {
    auto gate = std::make_shared<const ChatGate>(ChatGate{
        scope.default_chat_id, scope.logger, scope.telegram_ext, std::move(last_chat), nb::set()});
    return nb::cpp_function(pyglue::with_context(std::move(gate), &admit_update),
                            nb::arg("update"), nb::arg("context"), nb::name("chat_gate"));
}

} // namespace corvane::telegram
