#include "handlers.hpp"

#include <optional>
#include <string>
#include <vector>

#include "bot_texts.hpp"
#include "command_rules.hpp"
#include "datetime_helpers.hpp"
#include "safe_access.hpp"

namespace corvane::telegram {

using pyglue::read;
using pyglue::write;

namespace {

// The library bot the update came through, which carries the request attributes.
nb::object library_bot_of_context(nb::handle context) { return read(context, "bot"); }

// Replies go to the chat the update came from.
void reply(nb::handle update, nb::handle context, nb::handle text) {
    nb::object chat = read(update, "effective_chat");
    nb::object chat_id = read(chat, "id");
    nb::object library_bot = library_bot_of_context(context);
    nb::object send = read(library_bot, "send_message");
    send(nb::arg("chat_id") = chat_id, nb::arg("text") = text);
}

void reply_usage(nb::handle update, nb::handle context) {
    reply(update, context, nb::str(kModuleDoc));
}

// "[" and the current local date-time in its default text form; `rest` begins with "] ".
nb::str stamped(nb::handle rest) {
    return nb::str("[{}{}").format(nb::str(pyglue::datetime_now()), rest);
}

nb::str stamped(const char *rest) { return stamped(nb::str(rest)); }

nb::list command_words(nb::handle context) {
    nb::object args = read(context, "args");
    return nb::list(args);
}

// The words as UTF-8 for the argument rules. A word may hold a lone surrogate (Telegram's
// JSON can carry one), which is passed through rather than refused.
std::vector<std::string> utf8_words(nb::handle words) {
    std::vector<std::string> result;
    for (nb::handle word : words) {
        nb::str text = nb::str(word);
        PyObject *bytes = PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogatepass");
        if (!bytes)
            throw nb::python_error();
        nb::bytes owned = nb::steal<nb::bytes>(bytes);
        result.emplace_back(owned.c_str(), owned.size());
    }
    return result;
}

// A count is the host's int() of the word; a word that does not convert gives nothing.
std::optional<nb::object> read_count(nb::handle word) {
    PyObject *count = PyLong_FromUnicodeObject(nb::str(word).ptr(), 10);
    if (count)
        return nb::steal(count);
    if (!PyErr_ExceptionMatches(PyExc_ValueError))
        throw nb::python_error();
    PyErr_Clear();
    return std::nullopt;
}

// The count a well-formed request names, if any; false when the words are malformed (the
// shape is wrong or the count word does not convert).
bool take_count(const CountedRequest &request, nb::handle words,
                std::optional<nb::object> &count) {
    if (request.malformed)
        return false;
    if (request.count_word) {
        nb::object word = words[*request.count_word];
        count = read_count(word);
        if (!count)
            return false;
    }
    return true;
}

void raise_flag(nb::handle library_bot, const char *flag) {
    write(library_bot, flag, nb::bool_(true));
}

} // namespace

void echo(nb::handle update, nb::handle context) {
    // An update without message text (an edited message, say) has nothing to echo.
    nb::object message = read(update, "message");
    if (message.is_none())
        return;
    nb::object text = read(message, "text");
    if (text.is_none())
        return;
    reply(update, context, nb::str("[ECHO] {}").format(text));
}

void stop(nb::handle update, nb::handle context) {
    nb::object library_bot = library_bot_of_context(context);
    write(library_bot, "corvane_status", nb::str("Terminated"));
    reply(update, context, stamped("] Terminating Corvane..."));
}

void balance(nb::handle update, nb::handle context) {
    nb::object library_bot = library_bot_of_context(context);
    raise_flag(library_bot, "get_balance");
    reply(update, context, stamped("] Fetching balance..."));
}

void positions(nb::handle update, nb::handle context) {
    nb::object library_bot = library_bot_of_context(context);
    raise_flag(library_bot, "get_positions");
    reply(update, context, stamped("] Fetching positions..."));
}

void orders(nb::handle update, nb::handle context) {
    nb::list words = command_words(context);
    // The words are echoed before any check.
    reply(update, context, stamped(nb::str("] {}...").format(nb::repr(words))));

    CountedRequest request = read_orders_words(utf8_words(words));
    std::optional<nb::object> count;
    if (!take_count(request, words, count))
        return reply_usage(update, context);

    nb::object library_bot = library_bot_of_context(context);
    if (request.active_only)
        write(library_bot, "active_orders", nb::bool_(true));
    if (count)
        write(library_bot, "num_orders_displayed", *count);
    raise_flag(library_bot, "get_orders");
    nb::object active_orders = read(library_bot, "active_orders");
    nb::object num_orders_displayed = read(library_bot, "num_orders_displayed");
    reply(update, context,
          stamped(nb::str("] Fetching orders (active_orders={}, num_orders_displayed={})...")
                      .format(active_orders, num_orders_displayed)));
}

void deals(nb::handle update, nb::handle context) {
    nb::list words = command_words(context);
    CountedRequest request = read_deals_words(utf8_words(words));
    std::optional<nb::object> count;
    if (!take_count(request, words, count))
        return reply_usage(update, context);

    nb::object library_bot = library_bot_of_context(context);
    if (count)
        write(library_bot, "num_deals_displayed", *count);
    raise_flag(library_bot, "get_deals");
    nb::object num_deals_displayed = read(library_bot, "num_deals_displayed");
    reply(update, context,
          stamped(nb::str("] Fetching deals (num_deals_displayed={})...").format(num_deals_displayed)));
}

void cancel_orders(nb::handle update, nb::handle context) {
    nb::object library_bot = library_bot_of_context(context);
    raise_flag(library_bot, "cancel_orders");
    reply(update, context, stamped("] Canceling all active orders..."));
}

void cancel_order(nb::handle update, nb::handle context) {
    nb::list words = command_words(context);
    if (!cancel_order_words_valid(utf8_words(words)))
        return reply_usage(update, context);

    nb::object first = words[0], second = words[1];
    nb::str order_id = nb::str(first);
    nb::str gateway_name = nb::str(second);
    nb::object library_bot = library_bot_of_context(context);
    write(library_bot, "cancel_order_id", order_id);
    write(library_bot, "gateway_name", gateway_name);
    raise_flag(library_bot, "cancel_order");
    reply(update, context,
          stamped(nb::str("] Canceling order: order_id={},gateway_name={}...")
                      .format(order_id, gateway_name)));
}

void send_order(nb::handle update, nb::handle context) {
    nb::list words = command_words(context);
    if (!send_order_words_valid(utf8_words(words)))
        return reply_usage(update, context);

    nb::object instruction = words[0];
    nb::object library_bot = library_bot_of_context(context);
    write(library_bot, "order_string", instruction);
    raise_flag(library_bot, "send_order");
    reply(update, context, stamped(nb::str("] Send order ({})...").format(instruction)));
}

void close_positions(nb::handle update, nb::handle context) {
    nb::list words = command_words(context);
    if (!close_positions_words_valid(utf8_words(words)))
        return reply_usage(update, context);

    nb::object library_bot = library_bot_of_context(context);
    if (nb::len(words) == 1) {
        nb::object gateway_name = words[0];
        write(library_bot, "close_positions_gateway_name", gateway_name);
    }
    raise_flag(library_bot, "close_positions");
    reply(update, context, stamped("] Closing positions..."));
}

} // namespace corvane::telegram
