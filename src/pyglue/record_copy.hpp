// Copying a dataclass record with some fields changed, with dataclasses.replace semantics
// for the class of the record at hand: the copy is made with every init field (changed or
// taken from the original), so __init__ and __post_init__ take effect, a frozen record stays
// frozen, an init=False field given as a change is a ValueError and an unknown name a
// TypeError. What replace() works out from the class on every call (its fields, how its
// __init__ takes them) is worked out once per class and checked again on every copy, so a
// class whose fields or __init__ are replaced later is copied by what it is then.
//
// Three ways to make the copy, the fastest the class allows:
// - assembled: when calling the class would do only what the __init__ dataclasses writes does
//   (every field an init field, no __post_init__, the class's own __new__, calling and
//   attribute-setting those of object and type), a new instance whose fields are set in
//   class order, as that __init__ sets them;
// - positional: when __init__ is a Python function whose parameters are exactly the init
//   fields, the class is called with them by position (keyword-only ones by keyword);
// - by keyword: the class is called as replace() calls it.
#pragma once

#include <nanobind/nanobind.h>

#include <initializer_list>
#include <memory>
#include <vector>

namespace pyglue {

namespace nb = nanobind;

class RecordCopier {
public:
    // A changed field: its name (a str; an interned one is matched fastest) and new value.
    struct Change {
        nb::handle name;
        nb::handle value;
    };

    RecordCopier();
    // Works out `record_class` at once; it must be a dataclass.
    explicit RecordCopier(nb::handle record_class);
    ~RecordCopier();

    // dataclasses.replace(record, **changes).
    nb::object copy(nb::handle record, std::initializer_list<Change> changes) const;
    nb::object copy(nb::handle record, nb::dict changes) const;

private:
    struct Plan;

    // The plan of the record's class, worked out again when the class has changed; nullptr
    // for a record that is no dataclass instance.
    std::shared_ptr<const Plan> plan_for(nb::handle record) const;

    nb::object copy_changes(nb::handle record, const Change *changes, std::size_t count) const;
    nb::object replace_call(nb::handle record, const Change *changes, std::size_t count) const;
    nb::object construct(const Plan &plan, nb::handle record, const Change *changes,
                         std::size_t count) const;

    nb::object replace_;
    // A few classes at most (a framework record and its subclasses), latest first.
    mutable std::vector<std::shared_ptr<const Plan>> plans_;
};

} // namespace pyglue
