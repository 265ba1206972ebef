#include "request_fields.hpp"
#include "platform/variant.hpp"

#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"
#include "platform/member_table.hpp"

#include <nanobind/stl/string.h>

namespace cqgemu {

std::string text_field(nb::handle value) {
    if (!PyUnicode_Check(value.ptr()))
        raise_com_error(hresult::DISP_E_TYPEMISMATCH);
    return bstr_text(value);
}

long enumerated_field(const char *type_name, const char *enumeration, const char *what,
                      nb::handle value) {
    long number = integer_value(value);
    if (!is_member(enumeration, number))
        raise_server_error(type_name, std::string("Invalid ") + what, hresult::DISP_E_EXCEPTION);
    return number;
}

nb::object sessions_filter_field(nb::handle value) {
    if (PyUnicode_Check(value.ptr()))
        return nb::borrow(value);
    return nb::int_(integer_value(value));
}

} // namespace cqgemu
