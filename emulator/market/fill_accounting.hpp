// What a fill does to its account in the book: the position's quantity, side and average
// price, its realised profit and its open trade equity (OTE) at the market, and the account's
// summary (ProfitLoss, UPL, Balance and NLV at index 0). Plain C++, no Python.
//
// A position's quantity is signed (negative when short) and its side follows the sign; a flat
// position keeps the side it had. Prices are in points, one point worth one unit of money.
#pragma once

#include "account_book.hpp"

#include <string>

namespace cqgemu {

struct BookedFill {
    long account_id = 0;
    std::string instrument;
    long signed_quantity = 0; // bought above zero, sold below
    double price = 0.0;
};

// Books the fill and values the account's positions in its instrument at `mark`. Throws
// std::out_of_range for an unknown account.
PositionUpdate book_fill(AccountBook &book, const BookedFill &fill, double mark);

// Values every position in `instrument` at `mark`, and their accounts' summaries with them.
void mark_to_market(AccountBook &book, const std::string &instrument, double mark);

} // namespace cqgemu
