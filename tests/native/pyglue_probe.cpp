// A tiny module built only to exercise the shared glue from the tests: a class with C++
// methods, keyword names, a property, a static function and the exact-type check.
#include <nanobind/nanobind.h>

#include "class_builder.hpp"
#include "module_init.hpp"
#include "type_check.hpp"

namespace nb = nanobind;

PYGLUE_MODULE(_pyglue_probe, m) {
    pyglue::ClassBuilder counter(m, "Counter", nb::tuple(), "Counts calls.");
    counter
        .def("__init__",
             [](nb::handle self, nb::object start) {
                 pyglue::require_exact_type(start, &PyLong_Type, "start");
                 nb::setattr(self, "count", start);
             },
             nb::arg("start") = 0)
        .def("add",
             [](nb::handle self, nb::object step) {
                 nb::object total = self.attr("count") + step;
                 nb::setattr(self, "count", total);
                 return total;
             },
             nb::arg("step"))
        .def("name", [](nb::handle self) { return nb::str(self.type().attr("__name__")); })
        .def_static("twice", [](long value) { return 2 * value; }, nb::arg("value"))
        .def_property(
            "doubled", [](nb::handle self) { return self.attr("count") * nb::int_(2); },
            [](nb::handle self, nb::object val) {
                pyglue::require_exact_type(val, &PyLong_Type, "val");
                nb::setattr(self, "count", val.floor_div(nb::int_(2)));
            });
    m.attr("Counter") = counter.get();
    m.attr("init_count") = nb::int_(m.attr("__dict__").attr("get")("init_count", 0)) + nb::int_(1);
}
