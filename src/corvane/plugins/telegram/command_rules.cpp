#include "command_rules.hpp"

#include <algorithm>

namespace corvane::telegram {

namespace {

const char *const kActiveOnlyFlag = "-a";

bool is_active_only_flag(const std::string &word) { return word == kActiveOnlyFlag; }

} // namespace

CountedRequest read_orders_words(const std::vector<std::string> &words) {
    CountedRequest request;
    switch (words.size()) {
    case 0:
        break;
    case 1:
        if (is_active_only_flag(words[0]))
            request.active_only = true;
        else
            request.count_word = 0;
        break;
    case 2: {
        const bool first_is_flag = is_active_only_flag(words[0]);
        const bool second_is_flag = is_active_only_flag(words[1]);
        // Two counts, or "-a" twice (which names no count at all), are both malformed.
        if (first_is_flag == second_is_flag) {
            request.malformed = true;
            break;
        }
        request.active_only = true;
        request.count_word = first_is_flag ? 1 : 0;
        break;
    }
    default:
        request.malformed = true;
    }
    return request;
}

CountedRequest read_deals_words(const std::vector<std::string> &words) {
    CountedRequest request;
    if (words.size() >= 2)
        request.malformed = true;
    else if (words.size() == 1)
        request.count_word = 0;
    return request;
}

bool cancel_order_words_valid(const std::vector<std::string> &words) {
    return words.size() == 2;
}

bool is_order_instruction(const std::string &word) {
    const auto commas = static_cast<std::size_t>(std::count(word.begin(), word.end(), ','));
    return commas + 1 == kOrderInstructionFields;
}

bool send_order_words_valid(const std::vector<std::string> &words) {
    return words.size() == 1 && is_order_instruction(words[0]);
}

bool close_positions_words_valid(const std::vector<std::string> &words) {
    return words.size() <= 1;
}

} // namespace corvane::telegram
