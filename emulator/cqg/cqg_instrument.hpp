// CQGInstrument, one resolved instrument, with the quotes an InstrumentChanged event carries
// (CQGQuotes of CQGQuote) and its properties collection (kept empty).
#pragma once

#include "cel_record.hpp"
#include "collection.hpp"
#include "market/market.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cqgemu {

// One quote as an event reports it. `type` is a quote-type constant, or any int a test sends.
struct QuoteValue {
    long type;
    double price;
    double volume;
    bool valid;
};

class CqgQuote : public EmulatedObject {
public:
    CqgQuote(std::shared_ptr<ThreadQueue> home, QuoteValue value);

    const char *type_name() const override { return "CQGQuote"; }
    const MemberTable &members() const override;

    nb::object is_valid() { return nb::bool_(value_.valid); }
    nb::object type() { return nb::int_(value_.type); }
    nb::object price() { return nb::float_(value_.price); }
    nb::object volume() { return nb::int_(static_cast<long long>(value_.volume)); }

private:
    QuoteValue value_;
};

// The changed quotes of one event. The collection holds its quote objects (made at the first
// read of each), so reading an item twice gives the same object. A quote handed out shares
// the collection's ownership: reading one allocates nothing of its own, and the values and
// the quotes made of them are one allocation.
class CqgQuotes : public EmulatedCollection {
public:
    CqgQuotes(std::shared_ptr<ThreadQueue> home, const std::vector<QuoteValue> &quotes);

    const char *type_name() const override { return "CQGQuotes"; }
    const MemberTable &members() const override;

    size_t count() override { return count_; }
    std::shared_ptr<EmulatedObject> item_at(size_t index) override;
    bool items_fixed() const override { return true; }
    std::shared_ptr<EmulatedObject> item_with_key(nb::handle key) override; // by index

private:
    struct Entry {
        QuoteValue value;
        std::optional<CqgQuote> quote; // made at its first read
    };
    std::unique_ptr<Entry[]> entries_;
    size_t count_;
};

class CqgInstrumentProperties : public EmulatedCollection {
public:
    using EmulatedCollection::EmulatedCollection;

    const char *type_name() const override { return "CQGInstrumentProperties"; }
    const MemberTable &members() const override;

    size_t count() override { return 0; }
    std::shared_ptr<EmulatedObject> item_at(size_t index) override;
};

class CqgInstrument : public EmulatedObject {
public:
    CqgInstrument(std::shared_ptr<ThreadQueue> home, InstrumentTerms terms,
                  std::shared_ptr<CelRecord> record);

    const char *type_name() const override { return "CQGInstrument"; }
    const MemberTable &members() const override;
    void disconnect() override;

    nb::object full_name() { return nb::str(terms_.full_name.c_str()); }
    nb::object tick_size() { return nb::float_(terms_.tick_size); }
    nb::object data_subscription_level() { return nb::int_(subscription_level_); }
    void set_data_subscription_level(nb::handle value);
    nb::object properties();

    const std::string &key() const { return terms_.full_name; }
    // Quotes reach the sinks only at a subscription level above none, until it is removed.
    bool streaming() const;
    // RemoveInstrument: no more quotes, though a handler may still read it.
    void stop() { removed_ = true; }
    const std::shared_ptr<CqgInstrumentProperties> &property_collection() const {
        return properties_;
    }

private:
    InstrumentTerms terms_;
    std::shared_ptr<CelRecord> record_;
    std::shared_ptr<CqgInstrumentProperties> properties_;
    long subscription_level_;
    bool removed_ = false;
};

} // namespace cqgemu
