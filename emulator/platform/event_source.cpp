#include "event_source.hpp"

#include "com_errors.hpp"
#include "com_runtime.hpp"
#include "errors.hpp"
#include "dispatch.hpp"
#include "interface.hpp"
#include "platform_settings.hpp"
#include "thread_queue.hpp"
#include "variant.hpp"

#include <algorithm>

namespace cqgemu {

namespace {

// What pywin32's event dispatch writes for a handler that raised; the event source is told
// DISP_E_EXCEPTION and carries on.
void report_handler_error(nb::python_error &error) {
    nb::object exception = pyglue::take_exception(error);
    try {
        nb::module_ sys = nb::module_::import_("sys");
        nb::object stderr_stream = sys.attr("stderr");
        nb::object write = stderr_stream.attr("write");
        write(nb::str("pythoncom error: Python error invoking COM method.\n\n"));
        pyglue::print_exception(exception);
    } catch (nb::python_error &) {
        PyErr_Clear();
    }
}

// The event source behind `iface`, once it is known usable on this thread, from its apartment.
EventSource &event_source_usable_here(nb::handle object) {
    std::optional<Interface> iface = interface_of(object);
    if (!iface)
        raise_missing_attribute(object, "GetTypeInfo");
    require_usable_here(*iface);
    auto *events = dynamic_cast<EventSource *>(iface->target.get());
    if (!events)
        throw nb::value_error("This COM object does not support events.");
    require_apartment();
    return *events;
}

// "On" + the event's name, interned as the names in a class body are: a look-up of the
// handler then hits the type's attribute cache instead of walking the class's bases.
nb::str handler_name_of(const std::string &event_name) {
    PyObject *name = PyUnicode_InternFromString(("On" + event_name).c_str());
    if (!name)
        throw nb::python_error();
    return nb::steal<nb::str>(name);
}

// The arguments as the events class hands them over: every interface among them passed
// through Dispatch first, as pywin32's event policy does.
nb::object wrapped_arguments(nb::handle args) {
    const Py_ssize_t size = PyTuple_GET_SIZE(args.ptr());
    Py_ssize_t first = 0;
    while (first < size && !is_interface(PyTuple_GET_ITEM(args.ptr(), first)))
        ++first;
    if (first == size)
        return nb::borrow(args);
    nb::object wrapped = nb::steal(PyTuple_New(size));
    if (!wrapped.is_valid())
        throw nb::python_error();
    for (Py_ssize_t i = 0; i < size; ++i) {
        nb::handle item = PyTuple_GET_ITEM(args.ptr(), i);
        nb::object given = is_interface(item) ? wrap_for_names(held_interface(item)) : nb::borrow(item);
        PyTuple_SET_ITEM(wrapped.ptr(), i, given.release().ptr());
    }
    return wrapped;
}

void deliver(nb::handle sink, nb::handle handler_name, nb::handle args) {
    try {
        nb::object handler = nb::getattr(sink, handler_name, nb::none());
        if (handler.is_none())
            return;
        if (!PyTuple_Check(args.ptr())) {
            handler(*args);
            return;
        }
        // Event arguments cross as a tuple: the handler is called with it, each interface wrapped.
        nb::object arguments = wrapped_arguments(args);
        nb::object result = nb::steal(PyObject_Call(handler.ptr(), arguments.ptr(), nullptr));
        if (!result.is_valid())
            throw nb::python_error();
    } catch (nb::python_error &error) {
        report_handler_error(error);
    }
}

// The connection point a sink's `_olecp` holds: Unadvise(cookie) disconnects the sink.
struct ConnectionPoint {
    std::weak_ptr<EmulatedObject> source;
    unsigned long subscriber_thread;

    void unadvise(long cookie) const {
        if (subscriber_thread != current_thread_ident())
            raise_com_error(hresult::RPC_E_WRONG_THREAD);
        auto object = source.lock();
        if (!object || object->disconnected())
            raise_com_error(hresult::RPC_E_DISCONNECTED);
        static_cast<EventSource &>(*object).unadvise(cookie);
    }
};

} // namespace

long EventSource::connect(nb::object sink, std::shared_ptr<ThreadQueue> subscriber) {
    long cookie = next_cookie_++;
    connections_.push_back(Connection{std::move(sink), std::move(subscriber), cookie});
    return cookie;
}

void EventSource::unadvise(long cookie) {
    auto found = std::find_if(connections_.begin(), connections_.end(),
                              [cookie](const Connection &c) { return c.cookie == cookie; });
    if (found == connections_.end())
        raise_com_error(hresult::E_UNEXPECTED);
    connections_.erase(found);
}

bool EventSource::connected(long cookie) const {
    return std::any_of(connections_.begin(), connections_.end(),
                       [cookie](const Connection &c) { return c.cookie == cookie; });
}

void EventSource::fire(const std::string &event_name, nb::tuple args) {
    nb::str handler_name = handler_name_of(event_name);
    // The sinks connected when the event is fired get it. Converting the arguments may run
    // Python code (an argument's `_oleobj_`) that connects or disconnects sinks meanwhile; a
    // value no VARIANT can carry fails here, before any sink has the event.
    std::vector<Connection> receivers = connections_;
    nb::object sent = to_variant(args);
    bool nested = platform_settings().event_delivery == EventDelivery::Nested;
    unsigned long here = current_thread_ident();
    for (const Connection &connection : receivers) {
        nb::object delivered = from_variant(sent, connection.subscriber->thread_ident);
        if (nested && connection.subscriber->thread_ident == here) {
            // A handler may close a sink that has not had the event yet.
            if (connected(connection.cookie))
                deliver(connection.sink, handler_name, delivered);
            continue;
        }
        Message message;
        message.run = [sink = connection.sink, handler_name, delivered] {
            deliver(sink, handler_name, delivered);
        };
        post_message(*connection.subscriber, std::move(message));
    }
}

void EventSource::fire(EventBatch &batch, std::shared_ptr<const void> in_flight) {
    if (batch.empty())
        return;
    std::vector<std::pair<const char *, nb::tuple>> events;
    events.swap(batch.events);
    batch.shared.clear();
    // Converted once for all sinks, as fire() does; a batch mostly repeats one event, so its
    // handler's name is made once.
    std::vector<std::pair<nb::str, nb::object>> sent;
    sent.reserve(events.size());
    const char *last_event = nullptr;
    nb::str handler_name;
    for (auto &[name, args] : events) {
        if (name != last_event) {
            handler_name = handler_name_of(name);
            last_event = name;
        }
        sent.emplace_back(handler_name, to_variant(args));
    }
    std::vector<Connection> receivers = connections_;
    bool nested = platform_settings().event_delivery == EventDelivery::Nested;
    unsigned long here = current_thread_ident();
    for (const Connection &connection : receivers) {
        const unsigned long thread = connection.subscriber->thread_ident;
        if (nested && thread == here) {
            for (const auto &[name, args] : sent)
                if (connected(connection.cookie))
                    deliver(connection.sink, name, from_variant(args, thread));
            continue;
        }
        std::vector<std::pair<nb::str, nb::object>> delivered;
        delivered.reserve(sent.size());
        for (const auto &[name, args] : sent)
            delivered.emplace_back(name, from_variant(args, thread));
        Message message;
        // The batch counts as queued until the pump takes it (or drops the message).
        message.run = [sink = connection.sink, delivered = std::move(delivered),
                       in_flight]() mutable {
            in_flight.reset();
            for (const auto &[name, args] : delivered)
                deliver(sink, name, args);
        };
        post_message(*connection.subscriber, std::move(message));
    }
}

void EventSource::disconnect() {
    connections_.clear();
    EmulatedObject::disconnect();
}

nb::object with_events(nb::handle object, nb::handle user_class) {
    event_source_usable_here(object);

    // As pywin32 does: a class deriving from the events class and the user's class, whose
    // events-class constructor connects the new instance; then the user's constructor runs.
    nb::object events_class = nb::module_::import_("_cqgemu").attr("COMEventSink");
    nb::object type = nb::module_::import_("builtins").attr("type");
    nb::object combined =
        type("COMEventClass", nb::make_tuple(events_class, user_class), nb::dict());
    nb::object instance = combined(nb::cast(*interface_of(object)));
    user_class.attr("__init__")(instance);
    return instance;
}

void define_event_binding(nb::module_ &module) {
    nb::class_<ConnectionPoint>(module, "PyIConnectionPoint")
        .def("Unadvise", &ConnectionPoint::unadvise, nb::arg("cookie"))
        .def("__repr__", [](const ConnectionPoint &) { return "<PyIConnectionPoint>"; });

    nb::object type = nb::module_::import_("builtins").attr("type");
    nb::object module_name = module.attr("__name__");
    nb::dict ns;
    ns["__module__"] = module_name;
    ns["__doc__"] = nb::str("Connects an instance to the events of the object it is made with.");
    // The instance keeps its connection point and cookie, as pywin32's events class does.
    ns["__init__"] = nb::cpp_function(
        [](nb::handle self, nb::handle source) {
            EventSource &events = event_source_usable_here(source);
            std::shared_ptr<ThreadQueue> subscriber = current_queue();
            long cookie = events.connect(nb::borrow(self), subscriber);
            nb::setattr(self, "_olecp",
                        nb::cast(ConnectionPoint{events.weak_from_this(),
                                                 subscriber->thread_ident}));
            nb::setattr(self, "_olecp_cookie", nb::int_(cookie));
        },
        nb::is_method(), nb::arg("oobj"));
    ns["close"] = nb::cpp_function(
        [](nb::handle self) {
            nb::object point = nb::getattr(self, "_olecp", nb::none());
            if (point.is_none())
                return;
            nb::object cookie = nb::getattr(self, "_olecp_cookie", nb::none());
            nb::setattr(self, "_olecp", nb::none());
            nb::setattr(self, "_olecp_cookie", nb::none());
            nb::cast<const ConnectionPoint &>(point).unadvise(nb::cast<long>(cookie));
        },
        nb::is_method(), "Disconnects the instance from the object's events.");
    module.attr("COMEventSink") = type("COMEventSink", nb::make_tuple(), ns);
    module.def("WithEvents", &with_events, nb::arg("disp").none(), nb::arg("user_event_class"));
}

} // namespace cqgemu
