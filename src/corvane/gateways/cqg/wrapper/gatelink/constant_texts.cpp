#include "constant_texts.hpp"

#include "com_platform.hpp"
#include "safe_access.hpp"

namespace gatelink {

nb::dict build_constant_texts(const ConstantTextList &entries) {
    // One read of the constants namespace, then one read per name.
    nb::object client = pyglue::win32com_client_module();
    nb::object constants = pyglue::read(client, "constants");
    nb::dict table;
    for (const ConstantText &entry : entries) {
        nb::object value = pyglue::read(constants, entry.constant);
        table[value] = nb::str(entry.text);
    }
    return table;
}

nb::object text_of_constant(nb::handle table, nb::handle value) {
    nb::object text = nb::steal(PyObject_GetItem(table.ptr(), value.ptr()));
    if (!text.is_valid())
        throw nb::python_error();
    return text;
}

nb::object ConstantTextCache::text_of(const ConstantTextList &entries, nb::handle value) {
    auto found = tables_.find(&entries);
    if (found == tables_.end())
        found = tables_.emplace(&entries, build_constant_texts(entries)).first;
    return text_of_constant(found->second, value);
}

} // namespace gatelink
