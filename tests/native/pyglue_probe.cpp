// A tiny module built only to exercise the shared glue from the tests: a class with C++
// methods, keyword names, a property, a static function, the exact-type check, module
// functions, classes that the builder must refuse, and one function per remaining helper.
#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>

#include <string>

#include <memory>
#include <stdexcept>

#include "class_builder.hpp"
#include "cqg_time.hpp"
#include "errors.hpp"
#include "hashed_key.hpp"
#include "module_globals.hpp"
#include "module_imports.hpp"
#include "module_function.hpp"
#include "module_init.hpp"
#include "python_lock.hpp"
#include "record_copy.hpp"
#include "safe_access.hpp"
#include "type_check.hpp"

namespace nb = nanobind;

namespace {

void define_helper_probes(nb::module_ &m) {
    m.def("make_copier", [](nb::handle record_class) {
        auto copier = std::make_shared<pyglue::RecordCopier>(record_class);
        return nb::cpp_function([copier](nb::handle record, nb::kwargs changes) {
            return copier->copy(record, changes);
        });
    });
    m.def("refile", [](nb::handle mapping, nb::handle key, nb::handle change) {
        pyglue::HashedKey hashed(key);
        nb::object changed = change(hashed.item_of(mapping));
        hashed.store_in(mapping, changed);
    });
    m.def("whole_seconds", &cqgglue::naive_whole_seconds);
    m.def("read_member", [](nb::handle obj, const char *name) { return pyglue::read(obj, name); });
    m.def("write_member", [](nb::handle obj, const char *name, nb::handle value) {
        pyglue::write(obj, name, value);
    });
    m.def("call_member", [](nb::handle obj, const char *name, nb::handle arg) {
        return pyglue::call_method(obj, name, arg);
    });
    m.def("equals", &pyglue::equals);
    m.def("global_value", [](nb::handle module, const char *name) {
        return pyglue::ModuleGlobals(module).get(name);
    });
    m.def("import_into", [](nb::module_ target) {
        pyglue::import_module(target, "xml.dom");
        pyglue::import_names(target, "os.path", {"join", "sep"});
    });
    m.def("import_missing_into", [](nb::module_ target) {
        pyglue::import_names(target, "os.path", {"join", "no_such_name"});
    });
    m.def("with_lock", [](nb::handle lock, nb::handle fn) {
        pyglue::PythonLockHold hold(lock);
        return fn();
    });
    m.def("take_raised", [](nb::handle fn) {
        try {
            fn();
        } catch (nb::python_error &error) {
            return pyglue::take_exception(error);
        }
        return nb::none();
    });
    m.def("raise_again", [](nb::handle exception) { pyglue::raise_again(exception); });
    m.def("print_exception", &pyglue::print_exception);
}

// Builds a class that defines a name it already has; `how` picks the mistake.
void build_bad_class(const std::string &how) {
    nb::module_ m = nb::module_::import_("corvane._testing._pyglue_probe");
    pyglue::ClassBuilder bad(m, "Bad");
    auto noop = [](nb::handle) {};
    if (how == "method twice")
        bad.def("run", noop).def("run", noop);
    else if (how == "method over attribute")
        bad.attr("run", nb::int_(1)).def("run", noop);
    else if (how == "attribute over method")
        bad.def("run", noop).attr("run", nb::int_(1));
    else if (how == "property over method")
        bad.def("run", noop).def_property("run", [](nb::handle) { return 1; },
                                          [](nb::handle, nb::handle) {});
    else if (how == "static over method")
        bad.def("run", noop).def_static("run", [] {});
    else if (how == "field twice")
        bad.field("run", nb::none()).field("run", nb::none(), nb::none());
    else if (how == "method over field")
        bad.field("run", nb::none()).def("run", noop);
    else if (how == "method over class doc")
        bad.def("__doc__", noop);
    else if (how == "module function twice")
        pyglue::def_function(m, "twice_defined", [] {});
}

} // namespace

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
             nb::arg("step"), "Adds `step` to the count and returns the new count.")
        .def("name", [](nb::handle self) { return nb::str(self.type().attr("__name__")); })
        .def("collect",
             [](nb::handle, nb::args values, nb::object label, nb::kwargs options) {
                 return nb::make_tuple(values, label, options);
             },
             nb::arg("values"), nb::arg("label") = "none", nb::arg("options"))
        .def("scale",
             [](nb::handle self, nb::object factor, nb::object offset) {
                 return self.attr("count") * factor + offset;
             },
             nb::arg("factor"), nb::kw_only(), nb::arg("offset") = 0)
        .def_static("twice", [](long value) { return 2 * value; }, nb::arg("value"),
                    "Twice the value.")
        .def_property(
            "doubled", [](nb::handle self) { return self.attr("count") * nb::int_(2); },
            [](nb::handle self, nb::object val) {
                pyglue::require_exact_type(val, &PyLong_Type, "val");
                nb::setattr(self, "count", val.floor_div(nb::int_(2)));
            });
    m.attr("Counter") = counter.get();
    define_helper_probes(m);

    pyglue::def_function(
        m, "build_bad_class",
        [](nb::handle how) { build_bad_class(nb::cast<std::string>(nb::str(how))); },
        nb::arg("how"), "Builds a class that repeats a name, as `how` says.");
    pyglue::def_function(m, "twice_defined", [] {});
    m.attr("init_count") = nb::int_(m.attr("__dict__").attr("get")("init_count", 0)) + nb::int_(1);
}
