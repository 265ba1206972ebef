// Copying a dataclass record with some fields changed, with dataclasses.replace semantics:
// the copy is made by calling the record's class with every init field (changed or taken
// from the original), so __init__ and __post_init__ run, a frozen record stays frozen, an
// init=False field given as a change is a ValueError and an unknown name a TypeError.
// The class's fields are read once, when the copier is made, instead of on every copy.
//
// When all that calling the class would do is what the __init__ dataclasses writes does (every
// field an init field, no InitVar, no __post_init__, the class's own __new__ and
// attribute-setting those of object), the copy is made the same way without the call: a new
// instance of the class whose fields are set in class order, as that __init__ sets them.
#pragma once

#include <nanobind/nanobind.h>

#include <string>
#include <vector>

namespace pyglue {

namespace nb = nanobind;

class RecordCopier {
public:
    // `record_class` must be a dataclass.
    explicit RecordCopier(nb::handle record_class);

    // dataclasses.replace(record, **changes). A record of another class than the one the
    // copier was made for is handed to dataclasses.replace itself.
    nb::object copy(nb::handle record, nb::dict changes) const;

private:
    struct Field {
        nb::str name;
        bool init;
        bool init_var_without_default; // an InitVar must then be given as a change
    };

    nb::object construct(nb::handle record, nb::dict changes) const;
    // The fields set one by one; an invalid object when the changes must go through the class.
    nb::object assemble(nb::handle record, nb::dict changes) const;

    nb::object record_class_;
    nb::object replace_;
    std::vector<Field> fields_;
    bool assembled_ = false; // copies may be assembled instead of constructed
};

} // namespace pyglue
