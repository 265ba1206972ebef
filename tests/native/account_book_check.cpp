// The emulator's account book on its own, without Python: what the control functions and a
// matching engine rely on. Prints each failed check and exits non-zero if any failed.
#include "account_book.hpp"
#include "cqg_constants.hpp"
#include "native_check.hpp"

#include <stdexcept>

using namespace cqgemu;
using native_check::check;
using native_check::failures;

namespace {

template <class Exception, class Action> bool throws(Action action) {
    try {
        action();
    } catch (const Exception &) {
        return true;
    }
    return false;
}

void positions_are_opened_then_changed_in_place() {
    AccountBook book({AccountBook::with_default_summary(1, "A"),
                      AccountBook::with_default_summary(2, "B")});
    PositionState es{"F.US.EPZ26", 2, *cqg_constant("osdBuy"), 4990.0, 0.0, 0.0};
    PositionState nq{"F.US.ENQZ26", 1, *cqg_constant("osdSell"), 18000.0, 0.0, 0.0};
    check(book.set_position(1, es) == PositionUpdate::Added, "first position is added");
    check(book.set_position(1, nq) == PositionUpdate::Added, "second instrument is added");
    es.quantity = -3;
    check(book.set_position(1, es) == PositionUpdate::Changed, "same instrument is changed");
    const auto &positions = book.find(1)->positions;
    check(positions.size() == 2 && positions[0].instrument == "F.US.EPZ26" &&
              positions[0].quantity == -3 && positions[1].instrument == "F.US.ENQZ26",
          "a change keeps the position's place and takes its new values");
    check(book.find(2)->positions.empty(), "other accounts are untouched");
    check(book.find_position(1, "F.US.ENQZ26")->average_price == 18000.0,
          "a position is found by account and instrument");
    check(book.find_position(2, "F.US.ENQZ26") == nullptr, "not in another account");
    check(throws<std::out_of_range>([&] { book.set_position(3, es); }),
          "an unknown account is refused");
}

void summaries_have_defaults_and_grow_by_index() {
    AccountBook book({AccountBook::with_default_summary(1, "A")});
    AccountState &account = *book.find(1);
    check(account.summary.size() == AccountBook::summary_names().size(),
          "every summary value is present");
    check(account.summary["Balance"][0] == 100000.0 && account.summary["UPL"][1] == 0.0,
          "default values");
    check(account.position_subscription_level == *cqg_constant("pslNoPositions"),
          "positions are not subscribed at first");
    book.set_summary(1, "Collaterals", 4, 2.5);
    const auto &collaterals = book.find(1)->summary["Collaterals"];
    check(collaterals.size() == 5 && collaterals[4] == 2.5 && collaterals[3] == 0.0,
          "setting a later index fills the gap with zeros");
    check(throws<std::invalid_argument>([&] { book.set_summary(1, "Cash", 0, 1.0); }),
          "an unknown summary name is refused");
    check(throws<std::invalid_argument>([&] { book.set_summary(1, "UPL", -1, 1.0); }),
          "a negative index is refused");
    check(throws<std::out_of_range>([&] { book.set_summary(9, "UPL", 0, 1.0); }),
          "an unknown account is refused");
}

} // namespace

int main() {
    positions_are_opened_then_changed_in_place();
    summaries_have_defaults_and_grow_by_index();
    return failures == 0 ? 0 : 1;
}
