#include "native_callable.hpp"

#include <structmember.h>

namespace pyglue {

namespace {

struct NativeCallable {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    PyObject *function;   // the nanobind function every call goes to
    PyObject *name;       // str
    PyObject *qualname;   // str
    PyObject *module;     // str
    PyObject *doc;        // str or None
    PyObject *parameters; // tuple of (name, kind) or (name, kind, default)
    PyObject *signature;  // the inspect.Signature once built, else nullptr
    PyObject *holds;      // what the function reads without owning it, else nullptr
};

NativeCallable *as_callable(PyObject *self) { return reinterpret_cast<NativeCallable *>(self); }

PyObject *forward_call(PyObject *self, PyObject *const *args, size_t nargsf,
                       PyObject *kwnames) {
    return PyObject_Vectorcall(as_callable(self)->function, args, nargsf, kwnames);
}

int traverse(PyObject *self, visitproc visit, void *arg) {
    NativeCallable *c = as_callable(self);
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(c->function);
    Py_VISIT(c->name);
    Py_VISIT(c->qualname);
    Py_VISIT(c->module);
    Py_VISIT(c->doc);
    Py_VISIT(c->parameters);
    Py_VISIT(c->signature);
    Py_VISIT(c->holds);
    return 0;
}

int clear(PyObject *self) {
    NativeCallable *c = as_callable(self);
    Py_CLEAR(c->function);
    Py_CLEAR(c->name);
    Py_CLEAR(c->qualname);
    Py_CLEAR(c->module);
    Py_CLEAR(c->doc);
    Py_CLEAR(c->parameters);
    Py_CLEAR(c->signature);
    Py_CLEAR(c->holds); // after the function, which may still read it until it goes
    return 0;
}

void dealloc(PyObject *self) {
    PyTypeObject *type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    clear(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject *repr(PyObject *self) {
    return PyUnicode_FromFormat("<native function %U>", as_callable(self)->qualname);
}

// A method binds the instance it is looked up on; looked up on the class it is itself.
PyObject *bind_to_instance(PyObject *self, PyObject *instance, PyObject *) {
    if (instance == nullptr || instance == Py_None)
        return Py_NewRef(self);
    return PyMethod_New(self, instance);
}

// A function stays itself wherever it is looked up, as a builtin function does.
PyObject *never_bind(PyObject *self, PyObject *, PyObject *) { return Py_NewRef(self); }

PyObject *get_doc(PyObject *self, void *) { return Py_NewRef(as_callable(self)->doc); }

nb::object build_signature(nb::handle parameters) {
    nb::module_ inspect = nb::module_::import_("inspect");
    nb::object parameter_type = inspect.attr("Parameter");
    nb::list built;
    for (nb::handle described : parameters) {
        nb::tuple entry = nb::borrow<nb::tuple>(described);
        nb::object name = entry[0];
        nb::object kind = entry[1];
        if (nb::len(entry) == 3) {
            nb::object default_value = entry[2];
            built.append(parameter_type(name, kind, nb::arg("default") = default_value));
        } else {
            built.append(parameter_type(name, kind));
        }
    }
    return inspect.attr("Signature")(built);
}

PyObject *get_signature(PyObject *self, void *) {
    NativeCallable *c = as_callable(self);
    if (!c->signature) {
        try {
            c->signature = build_signature(c->parameters).release().ptr();
        } catch (nb::python_error &e) {
            e.restore();
            return nullptr;
        }
    }
    return Py_NewRef(c->signature);
}

PyMemberDef members[] = {
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(NativeCallable, vectorcall), READONLY,
     nullptr},
    {"__name__", T_OBJECT, offsetof(NativeCallable, name), READONLY, nullptr},
    {"__qualname__", T_OBJECT, offsetof(NativeCallable, qualname), READONLY, nullptr},
    {"__module__", T_OBJECT, offsetof(NativeCallable, module), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"__doc__", get_doc, nullptr, nullptr, nullptr},
    {"__signature__", get_signature, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject *make_type(const char *name, descrgetfunc descr_get, unsigned long extra_flags) {
    PyType_Slot slots[] = {
        {Py_tp_call, reinterpret_cast<void *>(PyVectorcall_Call)},
        {Py_tp_descr_get, reinterpret_cast<void *>(descr_get)},
        {Py_tp_repr, reinterpret_cast<void *>(repr)},
        {Py_tp_traverse, reinterpret_cast<void *>(traverse)},
        {Py_tp_clear, reinterpret_cast<void *>(clear)},
        {Py_tp_dealloc, reinterpret_cast<void *>(dealloc)},
        {Py_tp_members, members},
        {Py_tp_getset, getset},
        {0, nullptr},
    };
    PyType_Spec description = {
        name,
        static_cast<int>(sizeof(NativeCallable)),
        0,
        static_cast<unsigned int>(Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC |
                                  Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_IMMUTABLETYPE |
                                  Py_TPFLAGS_DISALLOW_INSTANTIATION | extra_flags),
        slots,
    };
    PyObject *type = PyType_FromSpec(&description);
    if (!type)
        throw nb::python_error();
    return reinterpret_cast<PyTypeObject *>(type);
}

// The two types live as long as the process; each extension module has its own pair.
PyTypeObject *method_type() {
    static PyTypeObject *type =
        make_type("pyglue.native_method", bind_to_instance, Py_TPFLAGS_METHOD_DESCRIPTOR);
    return type;
}

PyTypeObject *function_type() {
    static PyTypeObject *type = make_type("pyglue.native_function", never_bind, 0);
    return type;
}

nb::tuple describe(const std::vector<Parameter> &parameters) {
    nb::list described;
    for (const Parameter &p : parameters) {
        nb::str name(p.name.c_str());
        nb::int_ kind(static_cast<int>(p.kind));
        if (p.default_value.is_valid())
            described.append(nb::make_tuple(name, kind, p.default_value));
        else
            described.append(nb::make_tuple(name, kind));
    }
    return nb::tuple(described);
}

nb::object make_callable(PyTypeObject *type, nb::object function, const CallableFace &face) {
    nb::str name(face.name);
    nb::str qualname(face.qualname.c_str());
    nb::object doc = face.doc ? nb::object(nb::str(face.doc)) : nb::none();
    nb::tuple parameters = describe(face.parameters);

    NativeCallable *c = PyObject_GC_New(NativeCallable, type);
    if (!c)
        throw nb::python_error();
    c->vectorcall = forward_call;
    c->function = function.release().ptr();
    c->name = name.release().ptr();
    c->qualname = qualname.release().ptr();
    c->module = nb::object(face.module_name).release().ptr();
    c->doc = doc.release().ptr();
    c->parameters = parameters.release().ptr();
    c->signature = nullptr;
    c->holds = nb::object(face.holds).release().ptr();
    PyObject_GC_Track(c);
    return nb::steal(reinterpret_cast<PyObject *>(c));
}

} // namespace

nb::object make_native_method(nb::object function, const CallableFace &face) {
    return make_callable(method_type(), std::move(function), face);
}

nb::object make_native_function(nb::object function, const CallableFace &face) {
    return make_callable(function_type(), std::move(function), face);
}

} // namespace pyglue
