#include "member_table.hpp"

#include "com_errors.hpp"
#include "cqg_members.hpp"

#include <stdexcept>

namespace cqgemu {

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A hash of the length and three letters (first, middle, last) taken in lower case: enough to
// tell a type's members apart nearly always, in constant time; the comparison settles the rest.
std::uint64_t case_blind_hash(std::string_view name) {
    const size_t size = name.size();
    std::uint64_t hash = size * 0x9E3779B97F4A7C15ull;
    if (size > 0) {
        hash ^= static_cast<unsigned char>(ascii_lower(name[0]));
        hash ^= std::uint64_t(static_cast<unsigned char>(ascii_lower(name[size / 2]))) << 8;
        hash ^= std::uint64_t(static_cast<unsigned char>(ascii_lower(name[size - 1]))) << 16;
    }
    hash *= 0xFF51AFD7ED558CCDull;
    return hash ^ (hash >> 29);
}

// One pass over names of a few letters, without a library call: a letter spelt as declared (the
// usual case) is settled by the first comparison.
bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && ascii_lower(a[i]) != ascii_lower(b[i]))
            return false;
    return true;
}

} // namespace

std::string lower_ascii(std::string_view name) {
    std::string lower(name);
    for (char &c : lower)
        c = ascii_lower(c);
    return lower;
}

void MemberTable::add(Member member) {
    // Every name comes from the one list of CQGCEL's spellings, which the gateway is checked
    // against: an object cannot answer to a name the list does not hold.
    if (!is_declared_member_name(member.name))
        throw std::logic_error("member " + member.name + " is not in the list of CQGCEL's names");
    std::uint64_t hash = case_blind_hash(member.name);
    for (size_t i = 0; i < members_.size(); ++i)
        if (hashes_[i] == hash && equal_ignoring_case(members_[i].name, member.name)) {
            members_[i] = std::move(member);
            return;
        }
    members_.push_back(std::move(member));
    hashes_.push_back(hash);
    // At most half the slots in use keeps every probe short.
    size_t size = 8;
    while (size < 2 * members_.size())
        size *= 2;
    slots_.assign(size, -1);
    for (size_t i = 0; i < members_.size(); ++i) {
        size_t slot = hashes_[i] & (size - 1);
        while (slots_[slot] >= 0)
            slot = (slot + 1) & (size - 1);
        slots_[slot] = static_cast<int>(i);
    }
}

void MemberTable::set_default(std::string_view name) {
    const Member *member = find(name);
    default_index_ = member ? static_cast<int>(member - members_.data()) : -1;
}

const Member *MemberTable::find(std::string_view name) const {
    if (name.empty() || slots_.empty())
        return nullptr;
    std::uint64_t hash = case_blind_hash(name);
    const size_t mask = slots_.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        int index = slots_[slot];
        if (index < 0)
            return nullptr;
        if (hashes_[index] == hash && equal_ignoring_case(members_[index].name, name))
            return &members_[index];
    }
}

const Member *MemberTable::find_exact(std::string_view name) const {
    const Member *member = find(name);
    return member && member->name == name ? member : nullptr;
}

void require_argument_count(nb::tuple args, size_t count) {
    if (args.size() != count)
        raise_com_error(hresult::DISP_E_BADPARAMCOUNT);
}

long index_argument(nb::tuple args) {
    require_argument_count(args, 1);
    nb::handle index = args[0];
    if (!PyLong_Check(index.ptr()) || PyBool_Check(index.ptr()))
        argument_at(0, 1, [] { raise_com_error(hresult::DISP_E_TYPEMISMATCH); });
    long value = 0;
    if (!nb::try_cast<long>(index, value))
        raise_com_error(hresult::DISP_E_BADINDEX);
    return value;
}

bool flag_value(nb::handle value) {
    if (!PyBool_Check(value.ptr()) && !PyLong_Check(value.ptr()) && !PyFloat_Check(value.ptr()))
        raise_com_error(hresult::DISP_E_TYPEMISMATCH);
    return PyObject_IsTrue(value.ptr()) == 1;
}

long integer_value(nb::handle value) {
    long number = 0;
    if (!PyLong_Check(value.ptr()) || !nb::try_cast<long>(value, number))
        raise_com_error(hresult::DISP_E_TYPEMISMATCH);
    return number;
}

} // namespace cqgemu
