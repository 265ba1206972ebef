#include "cel_sink_base.hpp"

#include "class_builder.hpp"

namespace corvane::bridge {

namespace {

// The handlers' bodies, one per parameter count: each accepts its arguments (None included)
// and returns None.
void ignore_event0(nb::handle) {}
void ignore_event1(nb::handle, nb::handle) {}
void ignore_event2(nb::handle, nb::handle, nb::handle) {}
void ignore_event3(nb::handle, nb::handle, nb::handle, nb::handle) {}
void ignore_event4(nb::handle, nb::handle, nb::handle, nb::handle, nb::handle) {}
void ignore_event5(nb::handle, nb::handle, nb::handle, nb::handle, nb::handle, nb::handle) {}

nb::arg parameter(const char *name) { return nb::arg(name).none(); }

} // namespace

nb::object make_cel_sink_base(nb::handle module) {
    pyglue::ClassBuilder sink(module, "CELSinkBase", nb::tuple(),
                              "Base of every CQGCEL event sink: each handler accepts its "
                              "event and does nothing.");
    // One handler per row of the table, in its order.
#define CEL_SINK_EVENT0(name) sink.def(name, &ignore_event0);
#define CEL_SINK_EVENT1(name, a) sink.def(name, &ignore_event1, parameter(a));
#define CEL_SINK_EVENT2(name, a, b) sink.def(name, &ignore_event2, parameter(a), parameter(b));
#define CEL_SINK_EVENT3(name, a, b, c)                                                        \
    sink.def(name, &ignore_event3, parameter(a), parameter(b), parameter(c));
#define CEL_SINK_EVENT4(name, a, b, c, d)                                                     \
    sink.def(name, &ignore_event4, parameter(a), parameter(b), parameter(c), parameter(d));
#define CEL_SINK_EVENT5(name, a, b, c, d, e)                                                  \
    sink.def(name, &ignore_event5, parameter(a), parameter(b), parameter(c), parameter(d),    \
             parameter(e));
#include "cel_sink_events.def"
#undef CEL_SINK_EVENT0
#undef CEL_SINK_EVENT1
#undef CEL_SINK_EVENT2
#undef CEL_SINK_EVENT3
#undef CEL_SINK_EVENT4
#undef CEL_SINK_EVENT5
    return sink.get();
}

} // namespace corvane::bridge
