// The request attributes: what a chat command asks of the strategy, stored on the library
// bot (CustomedExtBot) by the handlers and read and cleared by the engine through
// TelegramBot's properties of the same names.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::telegram {

namespace nb = nanobind;

// CustomedExtBot: ExtBot with one slot for the run state. The other request attributes
// live in the instance dictionary the library's objects already have.
nb::object make_library_bot_class(nb::handle module, nb::handle ext_bot);

// Sets the request attributes on the library bot to their initial values, in order.
void set_initial_requests(nb::handle library_bot);

// The library bot of a TelegramBot: self.updater.bot.
nb::object library_bot_of(nb::handle self);

// How a property's setter treats the value it is given.
enum class Stored { TruthValue, ExactStr, AsGiven };

// One request attribute, as a TelegramBot property.
struct RequestAttribute {
    const char *name;
    Stored stored;
};

// The property's getter: the attribute of the library bot.
nb::object read_request(const RequestAttribute &attribute, nb::handle self);

// The property's setter: its truth value, an exact str, or the value as given.
void store_request(const RequestAttribute &attribute, nb::handle self, nb::object val);

} // namespace corvane::telegram
