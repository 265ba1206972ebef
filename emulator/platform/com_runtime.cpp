#include "com_runtime.hpp"

#include "com_errors.hpp"
#include "interface.hpp"
#include "kernel_events.hpp"
#include "module_function.hpp"
#include "platform_lock.hpp"
#include "thread_queue.hpp"

#include <nanobind/stl/string.h>

#include <string>

namespace cqgemu {

namespace {

const char *const IID_IDISPATCH_TEXT = "{00020400-0000-0000-C000-000000000046}";
const char *const IID_IUNKNOWN_TEXT = "{00000000-0000-0000-C000-000000000046}";

struct Iid {
    std::string text;
};

// A marshaling stream: holds the object until it is unmarshaled, which may happen once.
struct Stream {
    std::shared_ptr<EmulatedObject> target;
    bool released = false;
};

void require_dispatch_iid(nb::handle iid) {
    std::string text = nb::isinstance<Iid>(iid) ? nb::cast<const Iid &>(iid).text
                                                : nb::cast<std::string>(nb::str(iid));
    if (text != IID_IDISPATCH_TEXT && text != IID_IUNKNOWN_TEXT)
        raise_com_error(hresult::E_NOINTERFACE);
}

// A thread keeps the model it entered COM with until it leaves: asking for the other one
// meanwhile is refused (RPC_E_CHANGED_MODE) and counts as no entry.
void co_initialize_as(bool multithreaded) {
    purge_dead_queues();
    std::shared_ptr<ThreadQueue> queue = current_queue();
    {
        std::lock_guard<std::mutex> lock(platform_mutex());
        if (queue->com_init_count == 0 || queue->multithreaded == multithreaded) {
            queue->multithreaded = multithreaded;
            ++queue->com_init_count;
            return;
        }
    }
    raise_com_error(hresult::RPC_E_CHANGED_MODE);
}

void co_initialize() { co_initialize_as(false); }

// COINIT_APARTMENTTHREADED (2) asks for a single-threaded apartment, its absence for the
// multithreaded one.
void co_initialize_ex(long flags) { co_initialize_as((flags & 2) == 0); }

void co_uninitialize() { leave_apartment(*current_queue()); }

nb::object marshal_in_stream(nb::handle iid, nb::handle object) {
    require_apartment();
    require_dispatch_iid(iid);
    std::optional<Interface> iface = interface_of(object);
    if (!iface)
        throw nb::type_error("The Python object is invalid");
    require_usable_here(*iface);
    return nb::cast(Stream{iface->target, false});
}

nb::object unmarshal_and_release(nb::handle stream_object, nb::handle iid) {
    if (!nb::isinstance<Stream>(stream_object))
        throw nb::type_error("The Python object is invalid");
    require_apartment();
    require_dispatch_iid(iid);
    Stream &stream = nb::cast<Stream &>(stream_object);
    if (stream.released)
        raise_com_error(hresult::E_UNEXPECTED);
    std::shared_ptr<EmulatedObject> target = std::move(stream.target);
    stream.target.reset();
    stream.released = true;
    if (target->disconnected())
        raise_com_error(hresult::RPC_E_DISCONNECTED);
    return interface_for_this_thread(std::move(target));
}

// Pumps until a quit message, sleeping while the queue is empty.
void pump_messages() {
    std::shared_ptr<ThreadQueue> queue = current_queue();
    for (;;) {
        {
            nb::gil_scoped_release unlocked;
            std::unique_lock<std::mutex> lock(platform_mutex());
            platform_changed().wait(lock, [&] { return !queue->messages.empty(); });
        }
        if (pump_waiting_messages())
            return;
    }
}

std::shared_ptr<ThreadQueue> queue_of_thread(unsigned long thread_ident, const char *function) {
    std::shared_ptr<ThreadQueue> queue = find_queue(thread_ident);
    if (!queue)
        raise_win32_error(1444, function);
    return queue;
}

void post_quit(unsigned long thread_ident) {
    std::shared_ptr<ThreadQueue> queue = queue_of_thread(thread_ident, "PostThreadMessage");
    Message quit;
    quit.kind = Message::Kind::Quit;
    if (!post_message(*queue, std::move(quit)))
        raise_win32_error(1444, "PostThreadMessage");
}

void inject_wait_result(unsigned long thread_ident, unsigned long result) {
    std::shared_ptr<ThreadQueue> queue = queue_of_thread(thread_ident, "inject_wait_result");
    {
        std::lock_guard<std::mutex> lock(platform_mutex());
        queue->injected_wait_result = result;
    }
    platform_changed().notify_all();
}

size_t waiting_message_count(unsigned long thread_ident) {
    std::shared_ptr<ThreadQueue> queue = queue_of_thread(thread_ident, "waiting_message_count");
    std::lock_guard<std::mutex> lock(platform_mutex());
    return queue->messages.size();
}

} // namespace

void require_apartment() {
    std::shared_ptr<ThreadQueue> queue = current_queue();
    bool inside;
    {
        std::lock_guard<std::mutex> lock(platform_mutex());
        inside = queue->in_apartment();
    }
    if (!inside)
        raise_com_error(hresult::CO_E_NOTINITIALIZED);
}

void define_com_runtime(nb::module_ &module) {
    nb::class_<Iid>(module, "IID")
        .def(nb::init<std::string>(), nb::arg("iidString"))
        .def_ro("text", &Iid::text)
        .def("__str__", [](const Iid &self) { return self.text; })
        .def("__repr__", [](const Iid &self) { return "IID('" + self.text + "')"; })
        .def("__eq__",
             [](const Iid &self, nb::handle other) {
                 return nb::isinstance<Iid>(other) &&
                        nb::cast<const Iid &>(other).text == self.text;
             })
        .def("__hash__", [](const Iid &self) { return std::hash<std::string>()(self.text); });
    module.attr("IID_IDispatch") = nb::cast(Iid{IID_IDISPATCH_TEXT});
    module.attr("IID_IUnknown") = nb::cast(Iid{IID_IUNKNOWN_TEXT});

    nb::class_<Stream>(module, "PyIStream")
        .def("__repr__", [](const Stream &self) {
            return std::string(self.released ? "<PyIStream (released)>" : "<PyIStream>");
        });

    module.def("CoInitialize", &co_initialize);
    module.def("CoInitializeEx", &co_initialize_ex, nb::arg("flags"));
    module.def("CoUninitialize", &co_uninitialize);
    module.def("CoMarshalInterThreadInterfaceInStream", &marshal_in_stream, nb::arg("iid"),
               nb::arg("unk"));
    module.def("CoGetInterfaceAndReleaseStream", &unmarshal_and_release, nb::arg("stream"),
               nb::arg("iid"));
    module.def(
        "PumpWaitingMessages",
        [](nb::args) { return pump_waiting_messages() ? 1 : 0; },
        "Dispatches every waiting message of this thread; 1 if a quit message was among them.");
    module.def("PumpMessages", &pump_messages);
    module.attr("COINIT_APARTMENTTHREADED") = 2;
    module.attr("COINIT_MULTITHREADED") = 0;

    pyglue::def_function(module, "post_quit", &post_quit, nb::arg("thread_ident"));
    pyglue::def_function(module, "inject_wait_result", &inject_wait_result,
                         nb::arg("thread_ident"), nb::arg("result") = WAIT_ABANDONED_0);
    pyglue::def_function(module, "waiting_message_count", &waiting_message_count, nb::arg("thread_ident"));
    module.def("current_thread_ident", &current_thread_ident);
}

} // namespace cqgemu
