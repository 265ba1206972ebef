// The fixed texts of the bot module: its documentation (the usage reply to malformed
// command arguments), the TelegramBot class documentation and the /send_order format.
#pragma once

namespace corvane::telegram {

// How /send_order's order instruction is written: the send_order handler's own doc, and
// part of the module documentation (a macro, so the two literals join into one).
#define CORVANE_SEND_ORDER_USAGE                                                           \
    "/send_order [parameters] send an order with string instruction:\n"                    \
    "- order_string: str, security_code, quantity, direction(l/s), offset(o/c),\n"         \
    "                order_type(m/l/s), gateway_name, price(None),\n"                      \
    "                stop_price(None)"

inline constexpr const char *kSendOrderUsage = CORVANE_SEND_ORDER_USAGE;

// The module documentation; sent alone as the reply to a command with malformed arguments.
inline constexpr const char *kModuleDoc =
    "Corvane's Telegram bot: ask a running strategy about its account and steer it from a\n"
    "chat. Only the chat set as TELEGRAM_CHAT_ID in corvane_config may use the bot.\n"
    "\n"
    "Commands (arguments in brackets are optional; n is a whole number):\n"
    "/stop - ask the strategy to stop\n"
    "/balance - show the account balance\n"
    "/positions - show the open positions\n"
    "/orders [-a] [n] - show the last n orders (default 1); -a shows only active orders;\n"
    "    -a and n may come in either order\n"
    "/deals [n] - show the last n deals (default 1)\n"
    "/cancel_order order_id gateway_name - cancel one order\n"
    "/cancel_orders - cancel all active orders\n"
    CORVANE_SEND_ORDER_USAGE "\n"
    "    one word, the eight fields separated by commas and no blanks, for example\n"
    "    /send_order EPZ26,1,l,o,l,CQG,5000.25,None\n"
    "/close_positions [gateway_name] - close all positions, or only those of one gateway\n"
    "\n"
    "Any other text is echoed back.";

// TelegramBot's class documentation.
inline constexpr const char *kTelegramBotDoc =
    "\n"
    "    <Corvane TelegramBot> Available commands:\"\n"
    "    1. /stop\n"
    "    2. /balance\n"
    "    3. /positions\n"
    "    4. /orders\n"
    "    5. /deals\n"
    "    6. /cancel_order\n"
    "    7. /cancel_orders\n"
    "    8. /send_order\n"
    "    9. /close_positions\n"
    "    10. /help\n"
    "    ";

} // namespace corvane::telegram
