#include "collection.hpp"

#include "platform/com_errors.hpp"
#include "platform/interface.hpp"

namespace cqgemu {

std::shared_ptr<EmulatedObject> EmulatedCollection::item_with_key(nb::handle) { return nullptr; }

std::shared_ptr<EmulatedObject> EmulatedCollection::item_at_key_index(nb::handle key) {
    long index = index_argument(nb::make_tuple(key));
    if (index < 0 || static_cast<size_t>(index) >= count())
        return nullptr;
    return item_at(static_cast<size_t>(index));
}

nb::object EmulatedCollection::count_property() { return nb::int_(count()); }

nb::object EmulatedCollection::item(nb::tuple args) {
    require_argument_count(args, 1);
    std::shared_ptr<EmulatedObject> found = item_with_key(args[0]);
    if (!found)
        raise_com_error(hresult::DISP_E_BADINDEX);
    return interface_for_this_thread(std::move(found));
}

nb::object EmulatedCollection::item_by_index(nb::tuple args) {
    long index = index_argument(args);
    if (index < 0 || static_cast<size_t>(index) >= count())
        raise_com_error(hresult::DISP_E_BADINDEX);
    return interface_for_this_thread(item_at(static_cast<size_t>(index)));
}

nb::object EmulatedCollection::new_enum(nb::tuple args) {
    require_argument_count(args, 0);
    if (items_fixed()) {
        auto self = std::static_pointer_cast<EmulatedCollection>(shared_from_this());
        return interface_for_this_thread(
            make_transient<CollectionEnumerator>(home(), std::move(self)));
    }
    std::vector<std::shared_ptr<EmulatedObject>> items;
    const size_t total = count();
    items.reserve(total);
    for (size_t i = 0; i < total; ++i)
        items.push_back(item_at(i));
    return interface_for_this_thread(
        make_transient<CollectionEnumerator>(home(), std::move(items)));
}

CollectionEnumerator::CollectionEnumerator(std::shared_ptr<ThreadQueue> home,
                                           std::vector<std::shared_ptr<EmulatedObject>> items)
    : EmulatedObject(std::move(home)), items_(std::move(items)), count_(items_.size()) {}

CollectionEnumerator::CollectionEnumerator(std::shared_ptr<ThreadQueue> home,
                                           std::shared_ptr<EmulatedCollection> fixed)
    : EmulatedObject(std::move(home)), fixed_(std::move(fixed)), count_(fixed_->count()) {}

const MemberTable &CollectionEnumerator::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CollectionEnumerator>(t).method("Next", &CollectionEnumerator::next);
        return t;
    }();
    return table;
}

nb::object CollectionEnumerator::next(nb::tuple args) {
    require_argument_count(args, 0);
    if (position_ >= count_)
        return nb::none();
    size_t index = position_++;
    return interface_for_this_thread(fixed_ ? fixed_->item_at(index) : items_[index]);
}

} // namespace cqgemu
