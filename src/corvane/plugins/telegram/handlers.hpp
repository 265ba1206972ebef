// The ten chat handlers: echo and the nine commands. Each reads the command's words from
// context.args, stores request attributes on the shared library bot (context.bot) - every
// parameter before its flag - and acknowledges in the chat the message came from.
#pragma once

#include <nanobind/nanobind.h>

namespace corvane::telegram {

namespace nb = nanobind;

// Defines echo, stop, balance, positions, orders, deals, cancel_orders, cancel_order,
// send_order and close_positions on `m`, in this order.
void define_handlers(nb::module_ &m);

} // namespace corvane::telegram
