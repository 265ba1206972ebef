// A CQG collection: items in a stable order, reached by `Count`, `ItemByIndex(i)`, `Item(key)`
// (the default member, so `coll(key)` works) and `_NewEnum`, whose enumerator hands out one item
// per `Next`. Each collection type says how many items it has, which is at an index and which
// a key names; the members come from here.
#pragma once

#include "platform/emulated_object.hpp"

#include <vector>

namespace cqgemu {

class EmulatedCollection : public EmulatedObject {
public:
    using EmulatedObject::EmulatedObject;

    virtual size_t count() = 0;
    virtual std::shared_ptr<EmulatedObject> item_at(size_t index) = 0;
    // Whether the items never change once the collection is made (an event's quotes): its
    // enumerators then read them from the collection instead of copying them first.
    virtual bool items_fixed() const { return false; }
    // The item `key` names, or null. Only collections that declare `Item` are asked.
    virtual std::shared_ptr<EmulatedObject> item_with_key(nb::handle key);

    // For a collection keyed by position: the item at the index `key` gives, or null.
    std::shared_ptr<EmulatedObject> item_at_key_index(nb::handle key);

    nb::object count_property();
    nb::object item(nb::tuple args);
    nb::object item_by_index(nb::tuple args);
    nb::object new_enum(nb::tuple args);

protected:
    // Declares Count, ItemByIndex, _NewEnum and, for a keyed collection, Item as the default.
    template <class T> static void add_members(MemberTable::Builder<T> &builder, bool keyed) {
        builder.property("Count", &T::count_property)
            .method("ItemByIndex", &T::item_by_index, {required("Index")})
            .method("_NewEnum", &T::new_enum);
        if (keyed)
            builder.method("Item", &T::item, {required("Index")}).default_member("Item");
    }
};

// What `_NewEnum` returns: the items as they were when it was made, one per `Next()`, then None.
// It holds a copy of the items, or the collection itself when its items are fixed.
class CollectionEnumerator : public EmulatedObject {
public:
    CollectionEnumerator(std::shared_ptr<ThreadQueue> home,
                         std::vector<std::shared_ptr<EmulatedObject>> items);
    CollectionEnumerator(std::shared_ptr<ThreadQueue> home,
                         std::shared_ptr<EmulatedCollection> fixed);

    const char *type_name() const override { return "IEnumVARIANT"; }
    const MemberTable &members() const override;

    nb::object next(nb::tuple args);

private:
    std::vector<std::shared_ptr<EmulatedObject>> items_;
    std::shared_ptr<EmulatedCollection> fixed_; // null when the items were copied
    size_t count_;
    size_t position_ = 0;
};

} // namespace cqgemu
