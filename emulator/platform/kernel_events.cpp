#include "kernel_events.hpp"

#include "com_errors.hpp"
#include "platform_lock.hpp"
#include "thread_queue.hpp"

#include <nanobind/stl/string.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace cqgemu {

namespace {

// Guarded by platform_mutex().
struct KernelEvent {
    bool manual_reset = false;
    bool signalled = false;
};

struct EventHandle {
    std::shared_ptr<KernelEvent> event; // null once closed
    long value;
};

// Named events are shared by name, as the kernel's are. Guarded by the GIL.
std::unordered_map<std::string, std::weak_ptr<KernelEvent>> &named_events() {
    static auto *events = new std::unordered_map<std::string, std::weak_ptr<KernelEvent>>;
    return *events;
}

long next_handle_value() {
    static long value = 0x100;
    return value += 4;
}

std::shared_ptr<KernelEvent> event_of(nb::handle handle, const char *function) {
    if (!nb::isinstance<EventHandle>(handle))
        throw nb::type_error("The object is not a PyHANDLE object");
    const EventHandle &h = nb::cast<const EventHandle &>(handle);
    if (!h.event)
        raise_win32_error(6, function);
    return h.event;
}

// The message wait may be given no handle at all (it then waits for messages only).
std::vector<std::shared_ptr<KernelEvent>> events_of(nb::handle handles, const char *function,
                                                     bool none_allowed = false) {
    std::vector<std::shared_ptr<KernelEvent>> events;
    for (nb::handle handle : handles)
        events.push_back(event_of(handle, function));
    if ((events.empty() && !none_allowed) || events.size() > 64)
        raise_win32_error(87, function);
    return events;
}

// Under the platform mutex: takes the signal the wait is satisfied by, if any.
std::optional<unsigned long> take_signal(std::vector<std::shared_ptr<KernelEvent>> &events,
                                         bool wait_all) {
    if (events.empty())
        return std::nullopt;
    if (wait_all) {
        for (auto &event : events)
            if (!event->signalled)
                return std::nullopt;
        for (auto &event : events)
            if (!event->manual_reset)
                event->signalled = false;
        return WAIT_OBJECT_0;
    }
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i]->signalled) {
            if (!events[i]->manual_reset)
                events[i]->signalled = false;
            return WAIT_OBJECT_0 + static_cast<unsigned long>(i);
        }
    return std::nullopt;
}

// Sleeps, without the GIL, until `ready` gives a result or `milliseconds` pass.
template <class Ready> unsigned long wait_for(unsigned long milliseconds, Ready ready) {
    nb::gil_scoped_release unlocked;
    std::unique_lock<std::mutex> lock(platform_mutex());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (std::optional<unsigned long> result = ready())
            return *result;
        if (milliseconds == INFINITE)
            platform_changed().wait(lock);
        else if (platform_changed().wait_until(lock, deadline) == std::cv_status::timeout) {
            if (std::optional<unsigned long> result = ready())
                return *result;
            return WAIT_TIMEOUT;
        }
    }
}

bool truth(nb::handle value) {
    int result = PyObject_IsTrue(value.ptr());
    if (result < 0)
        throw nb::python_error();
    return result != 0;
}

nb::object create_event(nb::handle /*security*/, nb::handle manual_reset_flag,
                        nb::handle initial_state_flag, nb::handle name) {
    bool manual_reset = truth(manual_reset_flag), initial_state = truth(initial_state_flag);
    std::shared_ptr<KernelEvent> event;
    std::string key;
    if (!name.is_none()) {
        key = nb::cast<std::string>(nb::str(name));
        event = named_events()[key].lock();
    }
    if (!event) {
        event = std::make_shared<KernelEvent>();
        event->manual_reset = manual_reset;
        event->signalled = initial_state;
        if (!key.empty())
            named_events()[key] = event;
    }
    return nb::cast(EventHandle{event, next_handle_value()});
}

void set_signalled(nb::handle handle, bool signalled, const char *function) {
    std::shared_ptr<KernelEvent> event = event_of(handle, function);
    {
        std::lock_guard<std::mutex> lock(platform_mutex());
        event->signalled = signalled;
    }
    if (signalled)
        platform_changed().notify_all();
}

unsigned long wait_for_objects(nb::handle handles, nb::handle wait_all_flag,
                               unsigned long milliseconds) {
    bool wait_all = truth(wait_all_flag);
    auto events = events_of(handles, "WaitForMultipleObjects");
    return wait_for(milliseconds, [&] { return take_signal(events, wait_all); });
}

unsigned long msg_wait_for_objects(nb::handle handles, nb::handle wait_all_flag,
                                   unsigned long milliseconds, unsigned long wake_mask) {
    bool wait_all = truth(wait_all_flag);
    auto events = events_of(handles, "MsgWaitForMultipleObjects", true);
    std::shared_ptr<ThreadQueue> queue = current_queue();
    const unsigned long queue_has_input = WAIT_OBJECT_0 + static_cast<unsigned long>(events.size());
    unsigned long result = wait_for(milliseconds, [&]() -> std::optional<unsigned long> {
        if (queue->injected_wait_result) {
            unsigned long injected = *queue->injected_wait_result;
            queue->injected_wait_result.reset();
            return injected;
        }
        if (std::optional<unsigned long> signalled = take_signal(events, wait_all))
            return signalled;
        if (wake_mask != 0 && !queue->messages.empty())
            return queue_has_input;
        return std::nullopt;
    });
    // The platform reports a failed wait as an error, never as a result.
    if (result == WAIT_FAILED)
        raise_win32_error(6, "MsgWaitForMultipleObjects");
    return result;
}

} // namespace

void define_kernel_events(nb::module_ &module) {
    nb::class_<EventHandle>(module, "PyHANDLE")
        .def("__int__", [](const EventHandle &self) { return self.value; })
        .def("__index__", [](const EventHandle &self) { return self.value; })
        .def("__bool__", [](const EventHandle &self) { return static_cast<bool>(self.event); })
        .def("__repr__",
             [](const EventHandle &self) {
                 return "<PyHANDLE:" + std::to_string(self.value) + ">";
             })
        .def("Close", [](EventHandle &self) { self.event.reset(); })
        .def_prop_ro("handle", [](const EventHandle &self) { return self.value; });

    module.def("CreateEvent", &create_event, nb::arg("sa").none(), nb::arg("bManualReset"),
               nb::arg("bInitialState"), nb::arg("name").none());
    module.def("SetEvent", [](nb::handle h) { set_signalled(h, true, "SetEvent"); },
               nb::arg("hEvent"));
    module.def("ResetEvent", [](nb::handle h) { set_signalled(h, false, "ResetEvent"); },
               nb::arg("hEvent"));
    module.def(
        "WaitForSingleObject",
        [](nb::handle h, unsigned long milliseconds) {
            return wait_for_objects(nb::make_tuple(h), Py_False, milliseconds);
        },
        nb::arg("hHandle"), nb::arg("milliseconds"));
    module.def("WaitForMultipleObjects", &wait_for_objects, nb::arg("handleList"),
               nb::arg("bWaitAll"), nb::arg("milliseconds"));
    module.def("MsgWaitForMultipleObjects", &msg_wait_for_objects, nb::arg("handleList"),
               nb::arg("bWaitAll"), nb::arg("milliseconds"), nb::arg("wakeMask"));

    module.attr("WAIT_OBJECT_0") = WAIT_OBJECT_0;
    module.attr("WAIT_ABANDONED_0") = WAIT_ABANDONED_0;
    module.attr("WAIT_TIMEOUT") = WAIT_TIMEOUT;
    module.attr("WAIT_FAILED") = WAIT_FAILED;
    module.attr("INFINITE") = INFINITE;
    module.attr("QS_ALLEVENTS") = QS_ALLEVENTS;
    module.attr("QS_ALLINPUT") = QS_ALLINPUT;
}

} // namespace cqgemu
