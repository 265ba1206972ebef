#include "member_table.hpp"

#include "com_errors.hpp"

namespace cqgemu {

std::string lower_ascii(std::string_view name) {
    std::string lower(name);
    for (char &c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

const Member *MemberTable::find(std::string_view name) const {
    if (name.empty())
        return nullptr;
    auto it = by_lower_name_.find(lower_ascii(name));
    return it == by_lower_name_.end() ? nullptr : &it->second;
}

void require_argument_count(nb::tuple args, size_t count) {
    if (args.size() != count)
        raise_com_error(hresult::DISP_E_BADPARAMCOUNT);
}

long index_argument(nb::tuple args) {
    require_argument_count(args, 1);
    nb::handle index = args[0];
    if (!PyLong_Check(index.ptr()) || PyBool_Check(index.ptr()))
        raise_com_error(hresult::DISP_E_TYPEMISMATCH);
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
