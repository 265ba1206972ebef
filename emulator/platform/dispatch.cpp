#include "dispatch.hpp"

#include "com_errors.hpp"
#include "com_runtime.hpp"
#include "errors.hpp"
#include "injected_faults.hpp"
#include "platform_lock.hpp"
#include "platform_settings.hpp"
#include "thread_queue.hpp"
#include "variant.hpp"

#include <nanobind/stl/string.h>

#include <atomic>
#include <chrono>
#include <cctype>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace cqgemu {

namespace {

// An instance of one of the generated classes themselves (each derives from the base directly).
bool is_generated_class_instance(nb::handle value) {
    return Py_TYPE(value.ptr())->tp_base == platform_types.generated_base;
}

// The class the type library's wrapper makes for `target`'s type: made on first use, and kept
// for the process's life as a generated module keeps its classes.
PyTypeObject *generated_class_of(const EmulatedObject &target) {
    struct Made {
        const char *type_name;
        PyTypeObject *type;
    };
    static std::vector<Made> made;
    const char *name = target.type_name();
    for (const Made &entry : made)
        if (entry.type_name == name || std::strcmp(entry.type_name, name) == 0)
            return entry.type;
    // A program id's type ("CQG.CQGCEL.4") gets the class its coclass is named by ("CQGCEL").
    std::string class_name = name;
    size_t end = class_name.size();
    while (end > 0) {
        size_t dot = class_name.rfind('.', end - 1);
        size_t begin = dot == std::string::npos ? 0 : dot + 1;
        std::string part = class_name.substr(begin, end - begin);
        if (!part.empty() && !std::isdigit(static_cast<unsigned char>(part[0]))) {
            class_name = part;
            break;
        }
        if (dot == std::string::npos)
            break;
        end = dot;
    }
    nb::dict body;
    body["__slots__"] = nb::tuple();
    body["__module__"] = nb::str(generated_library().module.c_str());
    body["__doc__"] = nb::str(name);
    nb::object type = nb::borrow(reinterpret_cast<PyObject *>(&PyType_Type));
    nb::object made_type =
        type(nb::str(class_name.c_str()),
             nb::make_tuple(nb::handle(reinterpret_cast<PyObject *>(platform_types.generated_base))),
             body);
    made.push_back(Made{name, reinterpret_cast<PyTypeObject *>(made_type.release().ptr())});
    return made.back().type;
}

// A generated class's AttributeError for an unknown name, on a get and on a set alike.
[[noreturn]] void raise_generated_missing(nb::handle self, std::string_view name) {
    std::string text = "'" + generated_repr(self) + "' object has no attribute '" +
                       std::string(name) + "'";
    PyErr_SetString(PyExc_AttributeError, text.c_str());
    throw nb::python_error();
}

// One call waiting for the owner thread. `done`, set under the platform mutex, publishes
// `result` and `error` to the caller.
struct PendingCall {
    std::shared_ptr<EmulatedObject> target;
    Operation operation;
    const Member *member;
    nb::object argument;
    unsigned long caller_thread;
    nb::object result;
    nb::object error;
    std::atomic<bool> done{false};  // stored under the platform mutex, read by a spinning caller
    std::atomic<bool> taken{false}; // the caller holds the GIL again
};

// Spins (GIL released) until `ready()` or `limit` passes; true if it was ready.
template <class Ready> bool spin_until(Ready ready, std::chrono::microseconds limit) {
    auto until = std::chrono::steady_clock::now() + limit;
    do {
        for (int i = 0; i < 64; ++i)
            if (ready())
                return true;
        std::this_thread::yield();
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

bool spin_until(const std::atomic<bool> &flag, std::chrono::microseconds limit) {
    return spin_until([&] { return flag.load(std::memory_order_acquire); }, limit);
}

void finish(PendingCall &call) {
    {
        std::lock_guard<std::mutex> lock(platform_mutex());
        call.done.store(true, std::memory_order_release);
    }
    platform_changed().notify_all();
}

nb::object run_member_unguarded(EmulatedObject &target, Operation operation, const Member &member,
                                nb::object argument) {
    if (operation != Operation::Set)
        raise_if_faulted(target, member);
    switch (operation) {
    case Operation::Get:
        return member.get(target);
    case Operation::Set:
        member.set(target, argument);
        return nb::none();
    case Operation::Call:
    default:
        return member.call(target, nb::borrow<nb::tuple>(argument));
    }
}

// The Python name of an exception nanobind raises from C++ (nb::type_error and its kin).
const char *builtin_exception_name(nb::exception_type type) {
    switch (type) {
    case nb::exception_type::stop_iteration: return "StopIteration";
    case nb::exception_type::index_error: return "IndexError";
    case nb::exception_type::key_error: return "KeyError";
    case nb::exception_type::value_error: return "ValueError";
    case nb::exception_type::type_error: return "TypeError";
    case nb::exception_type::buffer_error: return "BufferError";
    case nb::exception_type::import_error: return "ImportError";
    case nb::exception_type::attribute_error: return "AttributeError";
    default: return "RuntimeError";
    }
}

// A failure inside the server reaches its caller as the server's COM error, never as the
// server's own exception type.
[[noreturn]] void raise_as_server_failure(const EmulatedObject &target, nb::python_error &error) {
    if (error.matches(com_error_type()) || !error.matches(PyExc_Exception))
        throw;
    nb::object exception = pyglue::take_exception(error);
    std::string text = nb::cast<std::string>(nb::str(exception.type().attr("__name__"))) + ": " +
                       nb::cast<std::string>(nb::str(exception));
    raise_server_error(target.type_name(), text, hresult::E_FAIL);
}

// On the object's own thread (`here`): arguments arrive as seen from here, and the result
// leaves as a VARIANT would carry it.
nb::object run_member(EmulatedObject &target, Operation operation, const Member &member,
                      nb::object argument, unsigned long here) {
    try {
        nb::object received = from_variant(argument, here);
        return to_variant(run_member_unguarded(target, operation, member, std::move(received)));
    } catch (nb::python_error &error) {
        raise_as_server_failure(target, error);
    } catch (const nb::builtin_exception &error) {
        std::string text = std::string(builtin_exception_name(error.type())) + ": " + error.what();
        raise_server_error(target.type_name(), text, hresult::E_FAIL);
    } catch (const std::exception &error) {
        raise_server_error(target.type_name(), error.what(), hresult::E_FAIL);
    }
}

// On the owner thread, inside its pump.
void execute(PendingCall &call) {
    try {
        if (call.target->disconnected())
            raise_com_error(hresult::RPC_E_DISCONNECTED);
        nb::object result = run_member(*call.target, call.operation, *call.member, call.argument,
                                       current_thread_ident());
        call.result = from_variant(result, call.caller_thread);
    } catch (nb::python_error &error) {
        call.error = pyglue::take_exception(error);
    } catch (const std::exception &error) {
        call.error = nb::handle(PyExc_RuntimeError)(nb::str(error.what()));
    }
    ThreadQueue &home = *call.target->home();
    std::uint64_t posted_before = home.posted.load(std::memory_order_acquire);
    // Publish the answer only once the GIL is free: a caller that saw `done` while this thread
    // still held the GIL would fall asleep in the GIL's own wait and cost a second wake-up.
    nb::gil_scoped_release unlocked;
    finish(call);
    // Then keep off the GIL while the caller uses it: asking for it now would put this thread
    // to sleep until the caller lets go, and that wake-up costs more than a whole call. A caller
    // lets go of the GIL before it posts its next call, so wait (briefly) for the caller to take
    // the GIL and then for the next message.
    if (spin_until(call.taken, std::chrono::microseconds(20)))
        spin_until(
            [&] { return home.posted.load(std::memory_order_acquire) != posted_before; },
            std::chrono::microseconds(20));
}

void cancel(PendingCall &call) {
    call.error = nb::handle(com_error_type())(
        hresult::RPC_E_DISCONNECTED,
        nb::str("The object invoked has disconnected from its clients."), nb::none(), nb::none());
    finish(call);
}

nb::object call_through_proxy(const Interface &iface, Operation operation, const Member &member,
                              nb::object argument) {
    std::shared_ptr<ThreadQueue> owner = iface.target->home();
    auto call = std::make_shared<PendingCall>();
    call->target = iface.target;
    call->operation = operation;
    call->member = &member;
    call->argument = std::move(argument);
    call->caller_thread = current_thread_ident();

    Message message;
    message.run = [call] { execute(*call); };
    message.cancel = [call] { cancel(*call); };

    // While it waits, a caller in an apartment whose events are delivered nested also runs
    // what reaches its own queue (events, calls into its objects), as a waiting apartment does.
    std::shared_ptr<ThreadQueue> caller = current_queue();
    bool dispatch_incoming = platform_settings().event_delivery == EventDelivery::Nested;

    // The call is posted only once the GIL is free: the owner, woken by the post, may run at
    // once (on this very core), and finding the GIL held it would fall asleep again for it.
    // Leaving the apartment cancels the call, which also sets `done`; only the owner thread's
    // end leaves it unanswered.
    CallPosting posting;
    bool done = false;
    {
        nb::gil_scoped_release unlocked;
        posting = post_call(*owner, std::move(message));
        if (posting == CallPosting::Posted) {
            // A pumping owner answers within microseconds: a short spin saves the caller a sleep
            // and a wake-up. Then sleep until the answer or the owner's end.
            done = spin_until(call->done, std::chrono::microseconds(50));
            while (!done) {
                bool incoming = false;
                {
                    std::unique_lock<std::mutex> lock(platform_mutex());
                    platform_changed().wait(lock, [&] {
                        incoming = dispatch_incoming && has_runnable_message(*caller);
                        return call->done.load() || !owner->alive || incoming;
                    });
                    done = call->done.load();
                    if (!done && !owner->alive)
                        break;
                }
                if (!done && incoming) {
                    nb::gil_scoped_acquire gil;
                    run_waiting_calls(*caller);
                }
            }
        }
    }
    switch (posting) {
    case CallPosting::ApartmentLeft:
        raise_com_error(hresult::RPC_E_DISCONNECTED);
    case CallPosting::ThreadEnded:
        raise_com_error(hresult::RPC_E_SERVER_DIED_DNE);
    case CallPosting::Posted:
        break;
    }
    call->taken.store(true, std::memory_order_release);
    if (!done)
        raise_com_error(hresult::RPC_E_SERVER_DIED_DNE);
    if (call->error.is_valid())
        pyglue::raise_again(call->error);
    return std::move(call->result);
}

const Member &member_named(const Interface &iface, std::string_view name) {
    const Member *member = iface.target->members().find(name);
    if (!member) {
        std::string text = std::string(iface.target->type_name()) + "." + std::string(name);
        PyErr_SetString(PyExc_AttributeError, text.c_str());
        throw nb::python_error();
    }
    return *member;
}

[[noreturn]] void raise_cannot_set(const Interface &iface, const Member &member) {
    std::string text = "Property '" + std::string(iface.target->type_name()) + "." + member.name +
                       "' can not be set.";
    PyErr_SetString(PyExc_AttributeError, text.c_str());
    throw nb::python_error();
}

nb::object get_member(nb::handle self, std::string_view name);
nb::object read_member(const Interface &iface, const Member &member, bool generated);

// A CDispatch (or a subclass of it), not a generated class.
bool is_wrapper_late_bound(nb::handle self) { return has_type(self, platform_types.late_bound); }

// The ordinary attribute lookup; an empty object where it raised AttributeError (any other
// error is raised on).
nb::object ordinary_attribute(nb::handle self, nb::handle name) {
    if (PyObject *found = PyObject_GenericGetAttr(self.ptr(), name.ptr()))
        return nb::steal(found);
    if (!PyErr_ExceptionMatches(PyExc_AttributeError))
        throw nb::python_error();
    PyErr_Clear();
    return nb::object();
}

// Attribute lookup on a CDispatch (its tp_getattro, so that a read costs no Python-level call,
// as the platform's own wrapper looks a name up in its table and invokes it). A name of the
// object's own goes straight to its members: a CDispatch has no ordinary attribute of that
// kind, and trying the ordinary lookup first would raise (and drop) an AttributeError on every
// property read. Python's own names (`_oleobj_`, the dunders), and anything a subclass adds,
// are looked up the ordinary way first.
nb::object get_attribute(nb::handle self, nb::handle name) {
    if (!PyUnicode_Check(name.ptr())) {
        PyErr_Format(PyExc_TypeError, "attribute name must be string, not '%.200s'",
                     Py_TYPE(name.ptr())->tp_name);
        throw nb::python_error();
    }
    Py_ssize_t size = 0;
    const char *utf8 = PyUnicode_AsUTF8AndSize(name.ptr(), &size);
    if (!utf8)
        throw nb::python_error();
    // The name's text is read before anything below may run Python code.
    std::string_view text(utf8, static_cast<size_t>(size));
    bool python_name = text.empty() || text[0] == '_';
    if (!python_name && is_generated_class_instance(self)) {
        const Interface &iface = nb::inst_ptr<DispatchWrapper>(self)->iface;
        if (const Member *member = iface.target->members().find_exact(text))
            return read_member(iface, *member, true);
        // The class's own attributes (CLSID and the like), then the generated class's error.
        const std::string copy(text);
        if (nb::object found = ordinary_attribute(self, name))
            return found;
        raise_generated_missing(self, copy);
    }
    if (python_name || Py_TYPE(self.ptr()) != platform_types.late_bound) {
        // A copy: the ordinary lookup may run Python code.
        const std::string copy(text);
        if (nb::object found = ordinary_attribute(self, name))
            return found;
        if (python_name) {
            if (is_wrapper(self) && !is_wrapper_late_bound(self))
                raise_generated_missing(self, copy);
            PyErr_SetString(PyExc_AttributeError, copy.c_str());
            throw nb::python_error();
        }
        if (!is_wrapper_late_bound(self)) {
            const Interface &iface = nb::inst_ptr<DispatchWrapper>(self)->iface;
            const Member *member = iface.target->members().find_exact(copy);
            if (!member)
                raise_generated_missing(self, copy);
            return read_member(iface, *member, true);
        }
        return get_member(self, copy);
    }
    return get_member(self, text);
}

// A property read or a bound method of the wrapped object. `name` is not read after the
// member is found.
nb::object get_member(nb::handle self, std::string_view name) {
    const Interface &iface = nb::inst_ptr<DispatchWrapper>(self)->iface;
    return read_member(iface, member_named(iface, name), false);
}

nb::object read_member(const Interface &iface, const Member &member, bool generated) {
    if (member.is_method()) {
        // Looking a method up already asks the object (for its id), so the thread is checked.
        require_usable_here(iface);
        return new_instance(platform_types.method, BoundMethod{iface, &member, generated});
    }
    return wrap_result(invoke(iface, Operation::Get, member, nb::none()));
}

// A property put by name; deleting an attribute is left to the ordinary way.
void set_attribute(nb::handle self, nb::handle name, nb::handle value) {
    if (!value.is_valid() || !PyUnicode_Check(name.ptr())) {
        if (PyObject_GenericSetAttr(self.ptr(), name.ptr(), value.ptr()) != 0)
            throw nb::python_error();
        return;
    }
    const char *utf8 = PyUnicode_AsUTF8(name.ptr());
    if (!utf8)
        throw nb::python_error();
    const std::string text(utf8);
    if (!is_wrapper_late_bound(self)) {
        // A generated class puts only the properties it declares, spelt as declared.
        const Interface &iface = nb::inst_ptr<DispatchWrapper>(self)->iface;
        const Member *member = iface.target->members().find_exact(text);
        if (!member || member->is_method() || !member->set)
            raise_generated_missing(self, text);
        invoke(iface, Operation::Set, *member, nb::borrow(value));
        return;
    }
    const DispatchWrapper &wrapper = nb::cast<const DispatchWrapper &>(self);
    const Member &member = member_named(wrapper.iface, text.c_str());
    if (member.is_method() || !member.set)
        raise_cannot_set(wrapper.iface, member);
    invoke(wrapper.iface, Operation::Set, member, nb::borrow(value));
}

PyObject *python_exception_of(nb::exception_type type) {
    switch (type) {
    case nb::exception_type::stop_iteration: return PyExc_StopIteration;
    case nb::exception_type::index_error: return PyExc_IndexError;
    case nb::exception_type::key_error: return PyExc_KeyError;
    case nb::exception_type::value_error: return PyExc_ValueError;
    case nb::exception_type::type_error: return PyExc_TypeError;
    case nb::exception_type::buffer_error: return PyExc_BufferError;
    case nb::exception_type::import_error: return PyExc_ImportError;
    case nb::exception_type::attribute_error: return PyExc_AttributeError;
    default: return PyExc_RuntimeError;
    }
}

// A type slot runs without nanobind around it: a C++ failure becomes the Python exception a
// bound function would have raised.
template <class Body, class Result> Result in_slot(Body body, Result failed) noexcept {
    try {
        return body();
    } catch (nb::python_error &error) {
        error.restore();
    } catch (const nb::builtin_exception &error) {
        PyErr_SetString(python_exception_of(error.type()), error.what());
    } catch (const std::exception &error) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
    }
    return failed;
}

[[noreturn]] void raise_too_many_arguments(const Member &member, size_t named, size_t given) {
    // Python's own wording for `def Name(self, ...)`, the instance counted.
    size_t least = 0;
    for (size_t i = 0; i < named; ++i)
        if (member.parameters[i].kind == Parameter::Kind::Required)
            least = i + 1;
    std::string takes = least == named ? std::to_string(named + 1)
                                       : "from " + std::to_string(least + 1) + " to " +
                                             std::to_string(named + 1);
    std::string text = member.name + "() takes " + takes + " positional argument" +
                       (least == named && named == 0 ? "" : "s") + " but " +
                       std::to_string(given + 1) + " were given";
    PyErr_SetString(PyExc_TypeError, text.c_str());
    throw nb::python_error();
}

// A generated method's arguments as the call sends them: positional ones first, keyword ones
// by the declared names, an omitted optional parameter filled with its default (left out at the
// end when it has none, as a missing argument), an omitted required one refused by the server.
nb::tuple bind_arguments(const Member &member, PyObject *args, PyObject *kwargs) {
    const std::vector<Parameter> &parameters = member.parameters;
    const bool takes_rest = !parameters.empty() && parameters.back().kind == Parameter::Kind::Rest;
    const size_t named = parameters.size() - (takes_rest ? 1 : 0);
    const size_t given = static_cast<size_t>(PyTuple_GET_SIZE(args));
    if (given > named && !takes_rest)
        raise_too_many_arguments(member, named, given);
    std::vector<nb::object> values(named);
    for (size_t i = 0; i < named && i < given; ++i)
        values[i] = nb::borrow(PyTuple_GET_ITEM(args, static_cast<Py_ssize_t>(i)));
    if (kwargs) {
        PyObject *key = nullptr, *value = nullptr;
        Py_ssize_t position = 0;
        while (PyDict_Next(kwargs, &position, &key, &value)) {
            size_t index = named;
            for (size_t i = 0; i < named; ++i)
                if (PyUnicode_CompareWithASCIIString(key, parameters[i].name.c_str()) == 0)
                    index = i;
            if (index == named) {
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'",
                             member.name.c_str(), key);
                throw nb::python_error();
            }
            if (values[index].is_valid()) {
                PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%U'",
                             member.name.c_str(), key);
                throw nb::python_error();
            }
            values[index] = nb::borrow(value);
        }
    }
    size_t sent = named;
    if (given <= named)
        while (sent > 0 && !values[sent - 1].is_valid() &&
               parameters[sent - 1].kind == Parameter::Kind::Optional &&
               !parameters[sent - 1].default_value)
            --sent;
    const size_t extra = given > named ? given - named : 0;
    nb::object bound = nb::steal(PyTuple_New(static_cast<Py_ssize_t>(sent + extra)));
    if (!bound.is_valid())
        throw nb::python_error();
    for (size_t i = 0; i < sent; ++i) {
        nb::object item = std::move(values[i]);
        if (!item.is_valid()) {
            const Parameter &parameter = parameters[i];
            if (parameter.kind == Parameter::Kind::Required)
                raise_com_error(hresult::DISP_E_PARAMNOTOPTIONAL);
            item = parameter.default_value ? nb::object(nb::int_(*parameter.default_value))
                                           : nb::none();
        }
        PyTuple_SET_ITEM(bound.ptr(), static_cast<Py_ssize_t>(i), item.release().ptr());
    }
    for (size_t i = 0; i < extra; ++i) {
        PyObject *item = PyTuple_GET_ITEM(args, static_cast<Py_ssize_t>(named + i));
        Py_INCREF(item);
        PyTuple_SET_ITEM(bound.ptr(), static_cast<Py_ssize_t>(sent + i), item);
    }
    return nb::steal<nb::tuple>(bound.release());
}

} // namespace

// The id in decimal after "0x", as pywin32 formats it.
std::string generated_repr(nb::handle self) {
    return "<win32com.gen_py." + generated_library().description + "." +
           Py_TYPE(self.ptr())->tp_name + " instance at 0x" +
           std::to_string(reinterpret_cast<std::uintptr_t>(self.ptr())) + ">";
}

PyObject *getattro_slot(PyObject *self, PyObject *name) noexcept {
    return in_slot([&] { return get_attribute(self, name).release().ptr(); },
                   static_cast<PyObject *>(nullptr));
}

int setattro_slot(PyObject *self, PyObject *name, PyObject *value) noexcept {
    return in_slot(
        [&] {
            set_attribute(self, name, value);
            return 0;
        },
        -1);
}

// A bound method's tp_call: the call's arguments arrive as the tuple that crosses as they are.
PyObject *method_call_slot(PyObject *self, PyObject *args, PyObject *kwargs) noexcept {
    return in_slot(
        [&] {
            const BoundMethod &method = *nb::inst_ptr<BoundMethod>(self);
            if (method.generated) {
                nb::tuple bound = bind_arguments(*method.member, args, kwargs);
                nb::object result = invoke(method.iface, Operation::Call, *method.member, bound);
                return wrap_result(std::move(result)).release().ptr();
            }
            if (kwargs && PyDict_GET_SIZE(kwargs) != 0) {
                PyErr_Format(PyExc_TypeError, "%s() takes no keyword arguments",
                             method.member->name.c_str());
                throw nb::python_error();
            }
            nb::object result = invoke(method.iface, Operation::Call, *method.member,
                                       nb::borrow<nb::tuple>(args));
            return wrap_result(std::move(result)).release().ptr();
        },
        static_cast<PyObject *>(nullptr));
}

nb::object wrap_for_names(const Interface &iface) {
    nb::object wrapper =
        platform_settings().dispatch == DispatchKind::LateBound
            ? new_instance(platform_types.late_bound, DispatchWrapper{iface})
            : new_instance(generated_class_of(*iface.target), GeneratedWrapper{{iface}});
    watch_release(nb::inst_ptr<DispatchWrapper>(wrapper)->iface);
    return wrapper;
}

nb::object wrap_result(nb::object value) {
    // Only an object goes through Dispatch; values arrive converted already.
    if (is_interface(value))
        return wrap_for_names(held_interface(value));
    return value;
}

[[noreturn]] void raise_missing_attribute(nb::handle object, const char *name) {
    PyErr_Format(PyExc_AttributeError, "'%.50s' object has no attribute '%s'",
                 Py_TYPE(object.ptr())->tp_name, name);
    throw nb::python_error();
}

nb::object invoke(const Interface &iface, Operation operation, const Member &member,
                  nb::object argument) {
    const unsigned long here = current_thread_ident();
    require_usable_on(iface, here);
    // The caller's side makes the VARIANTs: a value COM cannot carry never leaves this thread.
    nb::object sent = to_variant(argument);
    const std::shared_ptr<ThreadQueue> &owner = iface.target->home();
    if (!owner || is_queue_of(*owner, here))
        return from_variant(run_member(*iface.target, operation, member, std::move(sent), here),
                            here);
    report_use_after_leaving(iface);
    require_apartment();
    return call_through_proxy(iface, operation, member, std::move(sent));
}

} // namespace cqgemu
