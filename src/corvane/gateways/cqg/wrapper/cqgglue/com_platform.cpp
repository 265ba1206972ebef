#include "com_platform.hpp"

#include "interned_names.hpp"
#include "internals.hpp"
#include "safe_access.hpp"

namespace cqgglue {

using pyglue::Name;
using pyglue::read;

// The module as sys.modules holds it now, imported only when it is not there yet: every
// constant is looked up when used, and the import machinery costs more than the look-up.
// sys.modules is read directly (PyImport_GetModule would also read the module's __spec__ on
// every call, to wait for an import still running on another thread: the platform's modules
// are imported with the COM bridge, long before any of its events).
static nb::module_ loaded_module(const Name &name) {
    nb::handle key = name.get();
    PyObject *modules = PyImport_GetModuleDict(); // borrowed
    nb::object loaded;
    if (PyDict_CheckExact(modules)) {
        loaded = nb::borrow(PyDict_GetItemWithError(modules, key.ptr()));
        if (!loaded.is_valid() && PyErr_Occurred())
            throw nb::python_error();
    } else {
        loaded = nb::steal(PyImport_GetModule(key.ptr()));
        if (!loaded.is_valid() && PyErr_Occurred())
            throw nb::python_error();
    }
    // A None entry blocks the module: the import says so.
    if (!loaded.is_valid() || loaded.is_none())
        return nb::module_::import_(name.text());
    return nb::borrow<nb::module_>(loaded);
}

static const Name kThreading("threading"), kPythoncom("pythoncom"), kWin32event("win32event"),
    kWin32comClient("win32com.client");
static const Name kDispatch("Dispatch"), kConstants("constants");

nb::module_ threading_module() { return loaded_module(kThreading); }

nb::module_ pythoncom_module() { return loaded_module(kPythoncom); }

nb::module_ win32event_module() { return loaded_module(kWin32event); }

nb::module_ win32com_client_module() { return loaded_module(kWin32comClient); }

nb::object dispatch(nb::handle value) {
    nb::object wrap = read(win32com_client_module(), kDispatch);
    PyObject *argument = value.ptr();
    PyObject *wrapped = PyObject_Vectorcall(wrap.ptr(), &argument, 1, nullptr);
    if (!wrapped)
        throw nb::python_error();
    return nb::steal(wrapped);
}

nb::object com_constant(const char *name) {
    nb::object constants = read(win32com_client_module(), kConstants);
    return read(constants, name);
}

ComConstants::ComConstants()
    : constants_(read(win32com_client_module(), kConstants)),
      libraries_(pyglue::internals::constants_libraries(constants_)) {}

// The dicts ordinary attribute access reads before the namespace's __getattr__ is asked: the
// instance's own, then those of its class and the class's bases (tp_mro, tp_dict), each given
// to `visit` in turn until it returns false.
template <class Visit> static bool visit_own_dicts(nb::handle constants, Visit visit) {
    nb::object instance_dict = nb::steal(PyObject_GenericGetDict(constants.ptr(), nullptr));
    if (!instance_dict.is_valid())
        PyErr_Clear();
    else if (PyDict_Check(instance_dict.ptr()) && !visit(instance_dict.ptr()))
        return false;
    PyObject *mro = Py_TYPE(constants.ptr())->tp_mro;
    if (mro && PyTuple_Check(mro))
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(mro); ++i) {
            PyObject *dict = reinterpret_cast<PyTypeObject *>(PyTuple_GET_ITEM(mro, i))->tp_dict;
            if (dict && PyDict_Check(dict) && !visit(dict))
                return false;
        }
    return true;
}

bool ComConstants::has_own_attribute(nb::handle name) const {
    bool found = false;
    visit_own_dicts(constants_, [&](PyObject *dict) {
        int contained = PyDict_Contains(dict, name.ptr());
        if (contained < 0)
            throw nb::python_error();
        found = contained == 1;
        return !found;
    });
    return found;
}

nb::object ComConstants::get(nb::handle name) const {
    // A name attribute access finds by itself (set on the namespace or its class) is read
    // exactly as attribute access reads it; only the rest is searched in the libraries.
    if (!libraries_.is_valid() || has_own_attribute(name))
        return read(constants_, name);
    // By index: a look-up may run Python code (a mapping's __getitem__) that changes the list.
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(libraries_.ptr()); ++i) {
        nb::object names = nb::borrow(PyList_GET_ITEM(libraries_.ptr(), i));
        if (PyDict_CheckExact(names.ptr())) {
            PyObject *value = PyDict_GetItemWithError(names.ptr(), name.ptr());
            if (value)
                return nb::borrow(value);
            if (PyErr_Occurred())
                throw nb::python_error();
            continue;
        }
        // Another mapping (a class's __dict__): `name in names`, then `names[name]`.
        int contained = PySequence_Contains(names.ptr(), name.ptr());
        if (contained < 0)
            throw nb::python_error();
        if (contained) {
            nb::object value = nb::steal(PyObject_GetItem(names.ptr(), name.ptr()));
            if (!value.is_valid())
                throw nb::python_error();
            return value;
        }
    }
    PyErr_SetObject(PyExc_AttributeError, name.ptr());
    throw nb::python_error();
}

// The dict a library's names are read from: the library itself, or the one dict a mappingproxy
// reads. Invalid for anything else.
static nb::object dict_behind(PyObject *names) {
    if (PyDict_CheckExact(names))
        return nb::borrow(names);
    return pyglue::internals::dict_behind_proxy(names);
}

using pyglue::internals::dict_version;

ComConstants::Version ComConstants::version() const {
    Version mark;
    if (!libraries_.is_valid())
        return mark;
    visit_own_dicts(constants_, [&](PyObject *dict) {
        mark.own.emplace_back(nb::borrow(dict), dict_version(dict));
        return true;
    });
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(libraries_.ptr()); ++i) {
        PyObject *names = PyList_GET_ITEM(libraries_.ptr(), i);
        nb::object dict = dict_behind(names);
        if (!dict.is_valid())
            return Version();
        // The library as listed, and the version of the dict its names live in.
        mark.dicts.emplace_back(nb::borrow(names), dict_version(dict.ptr()));
        mark.behind.push_back(std::move(dict));
    }
    mark.constants = constants_;
    mark.libraries = libraries_;
    mark.valid = true;
    return mark;
}

bool ComConstants::unchanged_since(const Version &mark) const {
    if (!mark.valid || !constants_.is(mark.constants) || !libraries_.is(mark.libraries))
        return false;
    if (PyList_GET_SIZE(libraries_.ptr()) != static_cast<Py_ssize_t>(mark.dicts.size()))
        return false;
    for (std::size_t i = 0; i < mark.dicts.size(); ++i) {
        PyObject *names = PyList_GET_ITEM(libraries_.ptr(), static_cast<Py_ssize_t>(i));
        if (names != mark.dicts[i].first.ptr() ||
            dict_version(mark.behind[i].ptr()) != mark.dicts[i].second)
            return false;
    }
    std::size_t seen = 0;
    bool same = visit_own_dicts(constants_, [&](PyObject *dict) {
        bool kept = seen < mark.own.size() && dict == mark.own[seen].first.ptr() &&
                    dict_version(dict) == mark.own[seen].second;
        ++seen;
        return kept;
    });
    return same && seen == mark.own.size();
}

} // namespace cqgglue
