#include "interface.hpp"

#include "com_errors.hpp"
#include "thread_queue.hpp"

namespace cqgemu {

namespace {

long lifetime_faults = 0;

// pywin32 guards a release with a structured-exception handler and writes this when it fires:
// the interface belonged to an apartment its thread has left. Only the thread itself can tell
// (a later thread may get its ident, never its queue); a use is reported alike.
void report_apartment_left(const char *what, const void *address) {
    ++lifetime_faults;
    PySys_FormatStderr("Win32 exception occurred %s IUnknown at %p\n", what, address);
}

bool apartment_left(const ReleaseWatch &watch) {
    // Another thread cannot tell (and is given no queue of its own just to ask).
    if (watch.queue == 0 || platform_ending() || watch.thread != current_thread_ident())
        return false;
    const ThreadQueue &queue = *current_queue();
    if (queue.serial != watch.queue || queue.leaving)
        return false;
    return !queue.in_apartment() || queue.generation != watch.generation;
}

} // namespace

nb::object interface_for_this_thread(std::shared_ptr<EmulatedObject> object) {
    return new_interface(Interface{std::move(object), current_thread_ident()});
}

nb::object new_interface(Interface iface) {
    nb::object instance = new_instance(platform_types.interface, std::move(iface));
    watch_release(*nb::inst_ptr<Interface>(instance));
    return instance;
}

ReleaseWatch::~ReleaseWatch() {
    if (apartment_left(*this))
        report_apartment_left("releasing", this);
}

long lifetime_fault_count() { return lifetime_faults; }

bool is_interface(nb::handle value) { return has_type(value, platform_types.interface); }

const Interface &held_interface(nb::handle value) { return *nb::inst_ptr<Interface>(value); }

bool is_wrapper(nb::handle value) {
    return has_type(value, platform_types.late_bound) ||
           has_type(value, platform_types.generated_base);
}

std::optional<Interface> interface_of(nb::handle value) {
    if (is_interface(value))
        return held_interface(value);
    if (is_wrapper(value))
        return nb::inst_ptr<DispatchWrapper>(value)->iface;
    if (!value.is_none() && nb::hasattr(value, "_oleobj_")) {
        nb::object inner = value.attr("_oleobj_");
        if (is_interface(inner))
            return held_interface(inner);
    }
    return std::nullopt;
}

void require_usable_here(const Interface &iface) {
    require_usable_on(iface, current_thread_ident());
}

void require_usable_on(const Interface &iface, unsigned long here) {
    if (iface.valid_thread != 0 && iface.valid_thread != here)
        raise_com_error(hresult::RPC_E_WRONG_THREAD);
    if (iface.target->disconnected()) {
        report_use_after_leaving(iface);
        raise_com_error(hresult::RPC_E_DISCONNECTED);
    }
}

void watch_release(Interface &iface) {
    if (iface.valid_thread == 0 || iface.valid_thread != current_thread_ident())
        return;
    const ThreadQueue &queue = *current_queue();
    if (!queue.in_apartment()) // made by the platform itself (the live clock's driver)
        return;
    iface.watch.queue = queue.serial;
    iface.watch.generation = queue.generation;
    iface.watch.thread = queue.thread_ident;
}

void report_use_after_leaving(const Interface &iface) {
    if (apartment_left(iface.watch))
        report_apartment_left("using", iface.target.get());
}

bool same_object(const Interface &a, nb::handle other) {
    std::optional<Interface> b = interface_of(other);
    return b && a.target == b->target;
}

std::string describe(const Interface &iface, const char *kind) {
    return std::string("<") + kind + " " + iface.target->type_name() + ">";
}

void raise_type_mismatch() { raise_com_error(hresult::DISP_E_TYPEMISMATCH); }

} // namespace cqgemu
