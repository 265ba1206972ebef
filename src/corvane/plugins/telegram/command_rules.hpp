// The argument rules of the chat commands, decided from the words alone.
//
// These functions only look at how many words a command got, whether a word is exactly
// "-a", and how many comma-separated fields a word has. Reading a word as a count is left
// to the caller, which uses the host's own integer conversion of text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace corvane::telegram {

// What a command's words ask for: malformed, or which word (if any) holds a count.
struct CountedRequest {
    bool malformed = false;
    bool active_only = false;               // /orders only: "-a" was given
    std::optional<std::size_t> count_word;  // index of the word to read as a count
};

// /orders: none; "-a"; a count; or "-a" and a count in either order.
CountedRequest read_orders_words(const std::vector<std::string> &words);

// /deals: none or a count.
CountedRequest read_deals_words(const std::vector<std::string> &words);

// /cancel_order: exactly an order id and a gateway name.
bool cancel_order_words_valid(const std::vector<std::string> &words);

// An order instruction is one word of exactly eight comma-separated fields (empty fields
// count, so exactly seven commas).
constexpr std::size_t kOrderInstructionFields = 8;
bool is_order_instruction(const std::string &word);

// /send_order: exactly one word, and that word an order instruction.
bool send_order_words_valid(const std::vector<std::string> &words);

// /close_positions: none or a gateway name.
bool close_positions_words_valid(const std::vector<std::string> &words);

} // namespace corvane::telegram
