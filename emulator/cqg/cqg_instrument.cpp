#include "cqg_instrument.hpp"

#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"
#include "platform/interface.hpp"

#include <stdexcept>

namespace cqgemu {

CqgQuote::CqgQuote(std::shared_ptr<ThreadQueue> home, QuoteValue value)
    : EmulatedObject(std::move(home)), value_(value) {}

const MemberTable &CqgQuote::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CqgQuote>(t)
            .property("IsValid", &CqgQuote::is_valid)
            .property("Type", &CqgQuote::type)
            .property("Price", &CqgQuote::price)
            .property("Volume", &CqgQuote::volume);
        return t;
    }();
    return table;
}

CqgQuotes::CqgQuotes(std::shared_ptr<ThreadQueue> home, const std::vector<QuoteValue> &quotes)
    : EmulatedCollection(std::move(home)), entries_(std::make_unique<Entry[]>(quotes.size())),
      count_(quotes.size()) {
    for (size_t i = 0; i < count_; ++i)
        entries_[i].value = quotes[i];
}

const MemberTable &CqgQuotes::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CqgQuotes> builder(t);
        add_members(builder, true);
        return t;
    }();
    return table;
}

std::shared_ptr<EmulatedObject> CqgQuotes::item_at(size_t index) {
    if (index >= count_)
        throw std::out_of_range("CqgQuotes::item_at");
    Entry &entry = entries_[index];
    std::optional<CqgQuote> &quote = entry.quote;
    if (!quote)
        quote.emplace(home(), entry.value);
    return std::shared_ptr<EmulatedObject>(shared_from_this(), &*quote);
}

std::shared_ptr<EmulatedObject> CqgQuotes::item_with_key(nb::handle key) {
    return item_at_key_index(key);
}

const MemberTable &CqgInstrumentProperties::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CqgInstrumentProperties> builder(t);
        add_members(builder, false);
        return t;
    }();
    return table;
}

std::shared_ptr<EmulatedObject> CqgInstrumentProperties::item_at(size_t) { return nullptr; }

CqgInstrument::CqgInstrument(std::shared_ptr<ThreadQueue> home, InstrumentTerms terms,
                             std::shared_ptr<CelRecord> record)
    : EmulatedObject(home), terms_(std::move(terms)), record_(std::move(record)),
      properties_(make_emulated<CqgInstrumentProperties>(home)),
      subscription_level_(*cqg_constant("dsNone")) {}

const MemberTable &CqgInstrument::members() const {
    using C = CqgInstrument;
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<C>(t)
            .property("FullName", &C::full_name)
            .property("TickSize", &C::tick_size)
            .property("DataSubscriptionLevel", &C::data_subscription_level,
                      &C::set_data_subscription_level)
            .property("Properties", &C::properties);
        return t;
    }();
    return table;
}

void CqgInstrument::disconnect() {
    properties_->disconnect();
    EmulatedObject::disconnect();
}

void CqgInstrument::set_data_subscription_level(nb::handle value) {
    long level = integer_value(value);
    if (!is_member("eDataSubscriptionLevel", level))
        raise_server_error(type_name(), "Invalid data subscription level",
                           hresult::DISP_E_EXCEPTION);
    record_->note_property(type_name(), "DataSubscriptionLevel", value);
    subscription_level_ = level;
}

nb::object CqgInstrument::properties() { return interface_for_this_thread(properties_); }

bool CqgInstrument::streaming() const {
    static const long none = *cqg_constant("dsNone"); // asked for every quote the feed makes
    return !removed_ && !disconnected() && subscription_level_ != none;
}

} // namespace cqgemu
