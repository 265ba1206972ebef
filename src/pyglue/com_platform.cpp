#include "com_platform.hpp"

#include "interned_names.hpp"
#include "safe_access.hpp"

namespace pyglue {

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
static const Name kDispatch("Dispatch"), kConstants("constants"), kDicts("__dicts__");

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

// The `__dicts__` list in the namespace's own attributes: looked up in its instance dict, so
// that a stand-in's __getattr__ is never asked for it.
static nb::object libraries_of(nb::handle constants) {
    nb::object own = nb::steal(PyObject_GenericGetDict(constants.ptr(), nullptr));
    if (!own.is_valid()) { // no instance dict at all
        PyErr_Clear();
        return nb::object();
    }
    PyObject *found = PyDict_GetItemWithError(own.ptr(), kDicts.get().ptr());
    if (!found) {
        if (PyErr_Occurred())
            throw nb::python_error();
        return nb::object();
    }
    if (!PyList_CheckExact(found))
        return nb::object();
    return nb::borrow(found);
}

ComConstants::ComConstants()
    : constants_(read(win32com_client_module(), kConstants)),
      libraries_(libraries_of(constants_)) {}

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

// A dict's version tag changes with every change to the dict, and no two changes anywhere
// give the same tag. Later Pythons deprecate it: there nothing is marked, and every name is
// read on every use.
static bool dict_version(PyObject *dict, std::uint64_t &version) {
#if PY_VERSION_HEX < 0x030C0000
    version = reinterpret_cast<PyDictObject *>(dict)->ma_version_tag;
    return true;
#else
    (void)dict;
    (void)version;
    return false;
#endif
}

// The dict a library's names are read from: the library itself, or the one dict a mappingproxy
// refers to (gc.get_referents, which for a mappingproxy gives exactly its mapping). Invalid for
// anything else.
static nb::object dict_behind(PyObject *names) {
    if (PyDict_CheckExact(names))
        return nb::borrow(names);
    if (!PyObject_TypeCheck(names, &PyDictProxy_Type))
        return nb::object();
    nb::object referents = nb::module_::import_("gc").attr("get_referents")(nb::handle(names));
    if (!PyList_CheckExact(referents.ptr()) || PyList_GET_SIZE(referents.ptr()) != 1)
        return nb::object();
    PyObject *mapping = PyList_GET_ITEM(referents.ptr(), 0);
    return PyDict_CheckExact(mapping) ? nb::borrow(mapping) : nb::object();
}

ComConstants::Version ComConstants::version() const {
    Version mark;
    if (!libraries_.is_valid())
        return mark;
    bool versioned = visit_own_dicts(constants_, [&](PyObject *dict) {
        std::uint64_t version = 0;
        if (!dict_version(dict, version))
            return false;
        mark.own.emplace_back(nb::borrow(dict), version);
        return true;
    });
    if (!versioned)
        return Version();
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(libraries_.ptr()); ++i) {
        PyObject *names = PyList_GET_ITEM(libraries_.ptr(), i);
        nb::object dict = dict_behind(names);
        std::uint64_t version = 0;
        if (!dict.is_valid() || !dict_version(dict.ptr(), version))
            return Version();
        // The library as listed, and the version of the dict its names live in.
        mark.dicts.emplace_back(nb::borrow(names), version);
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
        std::uint64_t version = 0;
        if (names != mark.dicts[i].first.ptr() || !dict_version(mark.behind[i].ptr(), version) ||
            version != mark.dicts[i].second)
            return false;
    }
    std::size_t seen = 0;
    bool same = visit_own_dicts(constants_, [&](PyObject *dict) {
        std::uint64_t version = 0;
        bool kept = seen < mark.own.size() && dict == mark.own[seen].first.ptr() &&
                    dict_version(dict, version) && version == mark.own[seen].second;
        ++seen;
        return kept;
    });
    return same && seen == mark.own.size();
}

} // namespace pyglue
