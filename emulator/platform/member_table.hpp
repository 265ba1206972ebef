// The names an emulated object answers to: without regard to case through a late-bound
// wrapper, exactly as declared through a generated class.
//
// A table is built once per object type and never changed afterwards, so any thread may read
// it: the caller side decides between a property and a method without a round trip.
#pragma once

#include <nanobind/nanobind.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cqgemu {

namespace nb = nanobind;

class EmulatedObject;

// A method's parameter as the type library declares it. A generated class binds a call's
// positional and keyword arguments to these, fills an omitted optional one with its default and
// refuses more arguments than there are parameters (unless the last one takes the rest).
struct Parameter {
    enum class Kind { Required, Optional, Rest };
    std::string name;
    Kind kind = Kind::Required;
    std::optional<long> default_value; // an optional parameter's default, where it has one
};

inline Parameter required(const char *name) { return Parameter{name, Parameter::Kind::Required, {}}; }
inline Parameter optional(const char *name, std::optional<long> value = std::nullopt) {
    return Parameter{name, Parameter::Kind::Optional, value};
}
inline Parameter rest(const char *name) { return Parameter{name, Parameter::Kind::Rest, {}}; }

struct Member {
    std::string name; // as the type library spells it
    std::function<nb::object(EmulatedObject &)> get;
    std::function<void(EmulatedObject &, nb::handle)> set;
    std::function<nb::object(EmulatedObject &, nb::tuple)> call;
    std::vector<Parameter> parameters; // a method's

    bool is_method() const { return static_cast<bool>(call); }
};

std::string lower_ascii(std::string_view name);

// The one integer argument of an indexed property; the platform's error for anything else.
long index_argument(nb::tuple args);

// Every attribute read looks a name up here, so a look-up neither allocates nor compares
// whole strings: the name's case-blind hash picks a slot, and only a member with the same hash
// is compared letter by letter.
class MemberTable {
public:
    // The member of that name in any case (a late-bound wrapper's look-up).
    const Member *find(std::string_view name) const;
    // The member spelt exactly so (a generated class's look-up).
    const Member *find_exact(std::string_view name) const;

    const std::vector<Member> &all() const { return members_; }

    // The member `obj(x)` calls (the type library's DISPID_VALUE); null if the type has none.
    const Member *default_member() const {
        return default_index_ < 0 ? nullptr : &members_[default_index_];
    }

    template <class T> class Builder;

private:
    // Adds or replaces the member of that name (whatever its case).
    void add(Member member);
    void set_default(std::string_view name);

    std::vector<Member> members_;
    std::vector<std::uint64_t> hashes_; // of members_, by index
    std::vector<int> slots_;            // open addressing: an index into members_, or -1
    int default_index_ = -1;
};

// MemberTable::Builder<T>(table).property("Name", &T::get_x, &T::set_x).method("Run", &T::run)
template <class T> class MemberTable::Builder {
public:
    explicit Builder(MemberTable &table) : table_(table) {}

    Builder &property(const char *name, nb::object (T::*get)(),
                      void (T::*set)(nb::handle) = nullptr) {
        Member member;
        member.name = name;
        member.get = [get](EmulatedObject &self) { return (static_cast<T &>(self).*get)(); };
        if (set)
            member.set = [set](EmulatedObject &self, nb::handle value) {
                (static_cast<T &>(self).*set)(value);
            };
        table_.add(std::move(member));
        return *this;
    }

    Builder &method(const char *name, nb::object (T::*call)(nb::tuple),
                    std::initializer_list<Parameter> parameters = {}) {
        Member member;
        member.name = name;
        member.parameters = parameters;
        member.call = [call](EmulatedObject &self, nb::tuple args) {
            return (static_cast<T &>(self).*call)(args);
        };
        table_.add(std::move(member));
        return *this;
    }

    // A property that takes a required index: as the platform presents it, a method of the same
    // name called with one integer (`Summary.Balance(0)`).
    Builder &indexed_property(const char *name, nb::object (T::*get)(long)) {
        Member member;
        member.name = name;
        member.call = [get](EmulatedObject &self, nb::tuple args) {
            return (static_cast<T &>(self).*get)(index_argument(args));
        };
        member.parameters = {required("Index")};
        table_.add(std::move(member));
        return *this;
    }

    // Names the member that calling the object itself invokes; it must be declared already.
    Builder &default_member(const char *name) {
        table_.set_default(name);
        return *this;
    }

private:
    MemberTable &table_;
};

// Raises the platform's error for a call with the wrong number of arguments.
void require_argument_count(nb::tuple args, size_t count);


// A value put into a VARIANT_BOOL property: a bool or a number; a type mismatch otherwise.
bool flag_value(nb::handle value);

// A value put into an integer (enumeration) property; a type mismatch for anything but an int.
long integer_value(nb::handle value);

} // namespace cqgemu
