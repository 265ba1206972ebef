#include "scenario_accounts.hpp"

#include "scenario.hpp"
#include "scenario_input.hpp"
#include "market/cqg_constants.hpp"

#include <nanobind/stl/string.h>

#include <set>
#include <string>

namespace cqgemu {

namespace {

void read_summary(nb::handle summary, AccountState &account) {
    if (summary.is_none())
        return;
    for (auto [name, values] : as_dict(summary, "an account's summary")) {
        std::string text = text_from(name, "a summary name");
        if (!AccountBook::is_summary_name(text))
            fail(PyExc_ValueError, "no summary value named '" + text + "'");
        std::vector<double> numbers;
        for (nb::handle value : nb::iter(values))
            numbers.push_back(number_from(value, "a summary value"));
        account.summary[text] = numbers;
    }
}

PositionState position_from(nb::handle value) {
    nb::dict entry = as_dict(value, "a position");
    require_known_keys(entry,
                       {"instrument", "quantity", "side", "average_price", "ote", "profit_loss"},
                       "a position");
    PositionState position;
    nb::object instrument = entry_or_none(entry, "instrument");
    if (instrument.is_none())
        fail(PyExc_ValueError, "a position needs an 'instrument'");
    position.instrument = text_from(instrument, "a position's instrument");
    nb::object quantity = entry_or_none(entry, "quantity");
    position.quantity = quantity.is_none() ? 0 : integer_from(quantity, "a position's quantity");
    nb::object side = entry_or_none(entry, "side");
    position.side = position_side(side.is_none() ? nb::object(nb::str("buy")) : side);
    position.average_price = number_from(entry_or_none(entry, "average_price"), "average_price");
    position.ote = number_from(entry_or_none(entry, "ote"), "ote");
    position.profit_loss = number_from(entry_or_none(entry, "profit_loss"), "profit_loss");
    return position;
}

AccountState account_from(nb::handle value) {
    nb::dict entry = as_dict(value, "an account");
    require_known_keys(entry, {"id", "name", "summary", "positions"}, "an account");
    nb::object id = entry_or_none(entry, "id");
    if (id.is_none())
        fail(PyExc_ValueError, "an account needs an 'id'");
    long number = integer_from(id, "an account's id");
    nb::object name = entry_or_none(entry, "name");
    AccountState account = AccountBook::with_default_summary(
        number, name.is_none() ? "SIM-" + std::to_string(number)
                               : text_from(name, "an account's name"));
    read_summary(entry_or_none(entry, "summary"), account);
    nb::object positions = entry_or_none(entry, "positions");
    if (!positions.is_none())
        for (nb::handle position : nb::iter(positions)) {
            PositionState state = position_from(position);
            for (const PositionState &held : account.positions)
                if (held.instrument == state.instrument)
                    fail(PyExc_ValueError, "account " + std::to_string(number) +
                                               " lists " + state.instrument + " twice");
            account.positions.push_back(state);
        }
    return account;
}

} // namespace

std::vector<AccountState> accounts_from_python(nb::handle accounts) {
    if (accounts.is_none())
        return default_accounts();
    std::vector<AccountState> result;
    std::set<long> ids;
    for (nb::handle value : nb::iter(accounts)) {
        AccountState account = account_from(value);
        if (!ids.insert(account.id).second)
            fail(PyExc_ValueError, "two accounts have the id " + std::to_string(account.id));
        result.push_back(std::move(account));
    }
    return result;
}

long position_side(nb::handle side) {
    if (PyUnicode_Check(side.ptr())) {
        std::string text = nb::cast<std::string>(side);
        if (text == "buy")
            return *cqg_constant("osdBuy");
        if (text == "sell")
            return *cqg_constant("osdSell");
        fail(PyExc_ValueError, "side must be 'buy', 'sell' or an int, not '" + text + "'");
    }
    return integer_from(side, "side");
}

} // namespace cqgemu
