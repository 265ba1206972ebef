// The ten chat handlers: echo and the nine commands. Each reads the command's words from
// context.args, stores request attributes on the shared library bot (context.bot) - every
// parameter before its flag - and acknowledges in the chat the message came from. The
// module file defines them, in its table's order.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::telegram {

namespace nb = nanobind;

// The commands, each registered under the name of its handler function, in the order
// they are registered (after echo).
inline constexpr const char *kCommands[] = {"stop",          "balance",      "positions",
                                            "orders",        "deals",        "cancel_order",
                                            "cancel_orders", "send_order",   "close_positions"};

void echo(nb::handle update, nb::handle context);
void stop(nb::handle update, nb::handle context);
void balance(nb::handle update, nb::handle context);
void positions(nb::handle update, nb::handle context);
void orders(nb::handle update, nb::handle context);
void deals(nb::handle update, nb::handle context);
void cancel_orders(nb::handle update, nb::handle context);
void cancel_order(nb::handle update, nb::handle context);
void send_order(nb::handle update, nb::handle context);
void close_positions(nb::handle update, nb::handle context);

} // namespace corvane::telegram
