#include "interface_types.hpp"

#include "container_protocol.hpp"
#include "dispatch.hpp"
#include "interface.hpp"

namespace cqgemu {

namespace {

PyType_Slot method_slots[] = {{Py_tp_call, reinterpret_cast<void *>(&method_call_slot)},
                              {0, nullptr}};

PyType_Slot wrapper_slots[] = {{Py_tp_getattro, reinterpret_cast<void *>(&getattro_slot)},
                               {Py_tp_setattro, reinterpret_cast<void *>(&setattro_slot)},
                               {Py_tp_iter, reinterpret_cast<void *>(&iterate_slot)},
                               {Py_mp_length, reinterpret_cast<void *>(&length_slot)},
                               {Py_nb_bool, reinterpret_cast<void *>(&truth_slot)},
                               {0, nullptr}};

} // namespace

void define_interface_types(nb::module_ &module) {
    // Every event and every read makes these by the thousand: their instances are pooled,
    // so making one neither allocates nor registers a new object with nanobind. A live
    // market's batch carries thousands of interfaces, let go of together once it has run.
    constexpr std::uint32_t kEventBatchInterfaces = 16384;
    nb::class_<Interface>(module, "PyIDispatch",
                          "A bare interface pointer: wrap it with Dispatch to use it by name.",
                          nb::pooled(kEventBatchInterfaces))
        .def("__repr__", [](const Interface &self) { return describe(self, "PyIDispatch"); })
        .def(
            "__eq__",
            [](const Interface &self, nb::handle other) { return same_object(self, other); },
            nb::arg("other").none());

    nb::class_<BoundMethod>(module, "COMMethod", nb::type_slots(method_slots), nb::pooled())
        .def("__repr__", [](const BoundMethod &self) {
            return "<COM method " + self.member->name + " of " +
                   std::string(self.iface.target->type_name()) + ">";
        });

    nb::class_<DispatchWrapper>(module, "CDispatch",
                                "An emulated object usable by its property and method names.",
                                nb::type_slots(wrapper_slots), nb::pooled())
        .def_prop_ro("_oleobj_", [](const DispatchWrapper &self) { return nb::cast(self.iface); })
        .def("__repr__",
             [](const DispatchWrapper &self) { return describe(self.iface, "COMObject"); })
        .def(
            "__eq__",
            [](const DispatchWrapper &self, nb::handle other) {
                return same_object(self.iface, other);
            },
            nb::arg("other").none());

    // A generated class's instances: the same interface behind other rules for names.
    nb::class_<GeneratedWrapper>(module, "DispatchBaseClass",
                                 "Base of the classes a loaded type library makes per type.",
                                 nb::type_slots(wrapper_slots))
        .def_prop_ro("_oleobj_", [](const GeneratedWrapper &self) { return nb::cast(self.iface); })
        .def("__repr__", [](nb::handle self) { return generated_repr(self); })
        .def(
            "__eq__",
            [](const GeneratedWrapper &self, nb::handle other) {
                return same_object(self.iface, other);
            },
            nb::arg("other").none());

    // Equality is COM identity, and neither type defines a hash: wrappers are no dict keys
    // and no set members, as with pywin32.
    for (const char *name : {"PyIDispatch", "CDispatch", "DispatchBaseClass"}) {
        nb::object type = module.attr(name);
        type.attr("__hash__") = nb::none();
    }
    platform_types.interface = reinterpret_cast<PyTypeObject *>(nb::type<Interface>().ptr());
    platform_types.late_bound =
        reinterpret_cast<PyTypeObject *>(nb::type<DispatchWrapper>().ptr());
    platform_types.generated_base =
        reinterpret_cast<PyTypeObject *>(nb::type<GeneratedWrapper>().ptr());
    platform_types.method = reinterpret_cast<PyTypeObject *>(nb::type<BoundMethod>().ptr());
}

} // namespace cqgemu
