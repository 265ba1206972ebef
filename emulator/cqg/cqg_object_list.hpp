// A CQG collection of objects the server keeps in the order they came (Instruments, AllTicks,
// AllTimedBars, a quotes collection). `Item` takes an index or the key each object names itself
// by (its `key()`).
#pragma once

#include "collection.hpp"
#include "platform/member_table.hpp"
#include "platform/variant.hpp"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <nanobind/stl/string.h>

namespace cqgemu {

template <class T> class CqgObjectList : public EmulatedCollection {
public:
    CqgObjectList(std::shared_ptr<ThreadQueue> home, const char *type_name)
        : EmulatedCollection(std::move(home)), type_name_(type_name) {}

    const char *type_name() const override { return type_name_; }

    const MemberTable &members() const override {
        static const MemberTable table = [] {
            MemberTable t;
            MemberTable::Builder<CqgObjectList<T>> builder(t);
            add_members(builder, true);
            return t;
        }();
        return table;
    }

    void disconnect() override {
        for (auto &item : items_)
            item->disconnect();
        items_.clear();
        EmulatedCollection::disconnect();
    }

    size_t count() override { return items_.size(); }
    std::shared_ptr<EmulatedObject> item_at(size_t index) override { return items_.at(index); }

    std::shared_ptr<EmulatedObject> item_with_key(nb::handle key) override {
        long index = 0;
        if (PyLong_Check(key.ptr()) && !PyBool_Check(key.ptr()) && nb::try_cast<long>(key, index))
            return index >= 0 && static_cast<size_t>(index) < items_.size()
                       ? items_[static_cast<size_t>(index)]
                       : nullptr;
        if (!PyUnicode_Check(key.ptr()))
            return nullptr;
        std::string wanted = bstr_text(key);
        for (auto &item : items_)
            if (item->key() == wanted)
                return item;
        return nullptr;
    }

    const std::vector<std::shared_ptr<T>> &items() const { return items_; }
    void add(std::shared_ptr<T> item) { items_.push_back(std::move(item)); }
    void reserve(size_t count) { items_.reserve(count); }

    // Takes `item` out; false if it was not here.
    bool remove(const EmulatedObject *item) {
        auto found = std::find_if(items_.begin(), items_.end(),
                                  [&](const std::shared_ptr<T> &held) { return held.get() == item; });
        if (found == items_.end())
            return false;
        items_.erase(found);
        return true;
    }

private:
    const char *type_name_;
    std::vector<std::shared_ptr<T>> items_;
};

} // namespace cqgemu
