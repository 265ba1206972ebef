#include "constant_texts.hpp"

#include "com_platform.hpp"

namespace gatelink {

const ConstantTexts::Strings &ConstantTexts::strings_of(const ConstantTextList &entries) {
    auto found = strings_.find(&entries);
    if (found != strings_.end())
        return found->second;
    Strings strings;
    for (const ConstantText &entry : entries) {
        strings.constants.push_back(nb::str(entry.constant));
        strings.texts.push_back(nb::str(entry.text));
    }
    return strings_.emplace(&entries, std::move(strings)).first->second;
}

nb::object ConstantTexts::text_of(const ConstantTextList &entries, nb::handle value) {
    const Strings &strings = strings_of(entries);
    pyglue::ComConstants constants;
    nb::dict table;
    for (std::size_t i = 0; i < strings.constants.size(); ++i) {
        nb::object constant = constants.get(strings.constants[i]);
        if (PyDict_SetItem(table.ptr(), constant.ptr(), strings.texts[i].ptr()) != 0)
            throw nb::python_error();
    }
    nb::object text = nb::steal(PyObject_GetItem(table.ptr(), value.ptr()));
    if (!text.is_valid())
        throw nb::python_error();
    return text;
}

} // namespace gatelink
