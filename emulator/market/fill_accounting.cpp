#include "fill_accounting.hpp"

#include "cqg_constants.hpp"

#include <cstdlib>
#include <stdexcept>

namespace cqgemu {

namespace {

long signed_quantity(const PositionState &position) {
    long size = std::labs(position.quantity);
    return position.side == *cqg_constant("osdSell") ? -size : size;
}

double &summary_value(AccountState &account, const char *name) {
    std::vector<double> &values = account.summary[name];
    if (values.empty())
        values.push_back(0.0);
    return values[0];
}

// OTE of every position and the summary values that follow from them and the realised P&L.
void revalue(AccountState &account, const std::string &instrument, double mark) {
    double open_equity = 0.0;
    for (PositionState &position : account.positions) {
        if (position.instrument == instrument)
            position.ote = (mark - position.average_price) *
                           static_cast<double>(signed_quantity(position));
        open_equity += position.ote;
    }
    summary_value(account, "UPL") = open_equity;
    summary_value(account, "NLV") = summary_value(account, "Balance") + open_equity;
}

} // namespace

PositionUpdate book_fill(AccountBook &book, const BookedFill &fill, double mark) {
    AccountState *account = book.find(fill.account_id);
    if (!account)
        throw std::out_of_range("no account with GWAccountID " + std::to_string(fill.account_id));
    PositionState *position = nullptr;
    for (PositionState &held : account->positions)
        if (held.instrument == fill.instrument)
            position = &held;
    PositionUpdate update = PositionUpdate::Changed;
    if (!position) {
        PositionState opened;
        opened.instrument = fill.instrument;
        account->positions.push_back(opened);
        position = &account->positions.back();
        update = PositionUpdate::Added;
    }

    const long before = signed_quantity(*position);
    const long after = before + fill.signed_quantity;
    double realised = 0.0;
    if (before == 0 || (before > 0) == (fill.signed_quantity > 0)) {
        // Opening or adding: the average moves to include the new lots.
        position->average_price =
            (position->average_price * static_cast<double>(std::labs(before)) +
             fill.price * static_cast<double>(std::labs(fill.signed_quantity))) /
            static_cast<double>(std::labs(after));
    } else {
        // Reducing: the closed lots realise their profit; lots beyond flat open at the fill.
        long closed = std::min(std::labs(before), std::labs(fill.signed_quantity));
        realised = (fill.price - position->average_price) * static_cast<double>(closed) *
                   (before > 0 ? 1.0 : -1.0);
        if (after == 0)
            position->average_price = 0.0;
        else if ((after > 0) != (before > 0))
            position->average_price = fill.price;
    }
    position->quantity = after;
    if (after != 0)
        position->side = *cqg_constant(after > 0 ? "osdBuy" : "osdSell");
    position->profit_loss += realised;
    summary_value(*account, "ProfitLoss") += realised;
    summary_value(*account, "Balance") += realised;
    revalue(*account, fill.instrument, mark);
    return update;
}

void mark_to_market(AccountBook &book, const std::string &instrument, double mark) {
    for (const AccountState &listed : book.accounts()) {
        AccountState *account = book.find(listed.id);
        for (const PositionState &position : account->positions)
            if (position.instrument == instrument) {
                revalue(*account, instrument, mark);
                break;
            }
    }
}

} // namespace cqgemu
