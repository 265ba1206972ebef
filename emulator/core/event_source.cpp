#include "event_source.hpp"

#include "com_errors.hpp"
#include "com_runtime.hpp"
#include "interface.hpp"
#include "thread_queue.hpp"

namespace cqgemu {

namespace {

nb::tuple arguments_for(nb::tuple args, const ThreadQueue &subscriber) {
    nb::list converted;
    for (nb::handle arg : args) {
        std::optional<Interface> iface = interface_of(arg);
        if (iface && iface->valid_thread == subscriber.thread_ident &&
            nb::isinstance<Interface>(arg)) {
            converted.append(arg); // already a bare interface valid there
        } else if (iface) {
            converted.append(nb::cast(Interface{iface->target, subscriber.thread_ident}));
        } else {
            converted.append(arg);
        }
    }
    return nb::tuple(converted);
}

void print_handler_error(nb::python_error &error) {
    nb::object exception = fetch_error(error);
    try {
        nb::module_::import_("traceback").attr("print_exception")(exception);
    } catch (nb::python_error &) {
        PyErr_Clear();
    }
}

// The event source behind `iface`, once it is known usable on this thread, from its apartment.
EventSource &event_source_usable_here(const std::optional<Interface> &iface,
                                      const char *not_an_object) {
    if (!iface)
        throw nb::type_error(not_an_object);
    require_usable_here(*iface);
    auto *events = dynamic_cast<EventSource *>(iface->target.get());
    if (!events)
        throw nb::type_error("This COM object does not fire events");
    require_apartment();
    return *events;
}

void deliver(nb::handle sink, nb::handle handler_name, nb::handle args) {
    try {
        nb::object handler = nb::getattr(sink, handler_name, nb::none());
        if (handler.is_none())
            return;
        handler(*args);
    } catch (nb::python_error &error) {
        print_handler_error(error);
    }
}

} // namespace

void EventSource::connect(nb::object sink, std::shared_ptr<ThreadQueue> subscriber) {
    connections_.push_back(Connection{std::move(sink), std::move(subscriber)});
}

void EventSource::fire(const std::string &event_name, nb::tuple args) {
    nb::str handler_name(("On" + event_name).c_str());
    // Converting the arguments may run Python code (an argument's __getattr__, a collection),
    // which may connect or disconnect sinks meanwhile: walk by index over a copy of each entry,
    // and give the event to the sinks connected when it was fired.
    const size_t count = connections_.size();
    for (size_t i = 0; i < count && i < connections_.size(); ++i) {
        Connection connection = connections_[i];
        Message message;
        message.run = [sink = connection.sink, handler_name,
                       delivered = arguments_for(args, *connection.subscriber)] {
            deliver(sink, handler_name, delivered);
        };
        post_message(*connection.subscriber, std::move(message));
    }
}

void EventSource::fire(EventBatch &batch) {
    if (batch.empty())
        return;
    std::vector<std::pair<const char *, nb::tuple>> events;
    events.swap(batch.events);
    const size_t count = connections_.size();
    for (size_t i = 0; i < count && i < connections_.size(); ++i) {
        Connection connection = connections_[i];
        std::vector<std::pair<nb::str, nb::tuple>> delivered;
        delivered.reserve(events.size());
        // A batch mostly repeats one event: its handler's name is made once.
        const char *last_event = nullptr;
        nb::str handler_name;
        for (auto &[name, args] : events) {
            if (name != last_event) {
                handler_name = nb::str((std::string("On") + name).c_str());
                last_event = name;
            }
            delivered.emplace_back(handler_name, arguments_for(args, *connection.subscriber));
        }
        Message message;
        message.run = [sink = connection.sink, delivered = std::move(delivered)] {
            for (const auto &[handler_name, args] : delivered)
                deliver(sink, handler_name, args);
        };
        post_message(*connection.subscriber, std::move(message));
    }
}

void EventSource::disconnect() {
    connections_.clear();
    EmulatedObject::disconnect();
}

nb::object with_events(nb::handle object, nb::handle user_class) {
    std::optional<Interface> iface = interface_of(object);
    event_source_usable_here(iface, "WithEvents needs a COM object");

    // As pywin32 does: a class deriving from the events class and the user's class, whose
    // events-class constructor connects the new instance; then the user's constructor runs.
    nb::object events_class = nb::module_::import_("_cqgemu").attr("COMEventSink");
    nb::object type = nb::module_::import_("builtins").attr("type");
    nb::object combined =
        type("COMEventClass", nb::make_tuple(events_class, user_class), nb::dict());
    nb::object instance = combined(nb::cast(*iface));
    user_class.attr("__init__")(instance);
    return instance;
}

void define_event_binding(nb::module_ &module) {
    nb::object type = nb::module_::import_("builtins").attr("type");
    nb::object module_name = module.attr("__name__");
    nb::dict ns;
    ns["__module__"] = module_name;
    ns["__doc__"] = nb::str("Connects an instance to the events of the object it is made with.");
    ns["__init__"] = nb::cpp_function(
        [](nb::handle self, nb::handle source) {
            std::optional<Interface> iface = interface_of(source);
            event_source_usable_here(iface, "COMEventSink needs a COM object")
                .connect(nb::borrow(self), current_queue());
        },
        nb::is_method(), nb::arg("oobj"));
    module.attr("COMEventSink") = type("COMEventSink", nb::make_tuple(), ns);
    module.def("WithEvents", &with_events, nb::arg("disp"), nb::arg("user_event_class"));
}

} // namespace cqgemu
