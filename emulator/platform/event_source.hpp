// An emulated object that fires events, and the delivery of an event to a connected sink.
//
// Each connected sink gets the event on the thread that subscribed it: through its queue, so
// the handler runs inside its pump, one event at a time, or (nested delivery) at once when the
// event is fired on that thread. The handler is the sink's method named "On" + the event name;
// a sink without one ignores the event, and an exception a handler raises is reported as
// pywin32 reports it, without stopping the pump.
#pragma once

#include "emulated_object.hpp"

#include <nanobind/nanobind.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cqgemu {

namespace nb = nanobind;

class ThreadQueue;

// Events gathered to reach the sinks together: one message per sink for the whole batch, so a
// busy market wakes a pump once per batch rather than once per event.
struct EventBatch {
    std::vector<std::pair<const char *, nb::tuple>> events; // event name, arguments

    void add(const char *event_name, nb::tuple args) { events.emplace_back(event_name, std::move(args)); }
    bool empty() const { return events.empty(); }

    // The argument for `object` that many events of the batch carry (an instrument, its
    // properties): made by `make` for the first of them and shared by the rest, as it cannot
    // change in between. Kept until the batch is fired.
    template <class Make> nb::object shared_argument(const EmulatedObject *object, Make make) {
        for (const auto &[made_for, argument] : shared)
            if (made_for == object)
                return argument;
        shared.emplace_back(object, make());
        return shared.back().second;
    }
    std::vector<std::pair<const EmulatedObject *, nb::object>> shared;
};

class EventSource : public EmulatedObject {
public:
    using EmulatedObject::EmulatedObject;

    // Subscribes `sink` on the calling thread's apartment; the cookie disconnects it. GIL held.
    long connect(nb::object sink, std::shared_ptr<ThreadQueue> subscriber);
    void unadvise(long cookie);

    // Gives the event to every connected sink: posted to its thread's queue or, with nested
    // delivery on the sink's own thread, run at once. The arguments cross as VARIANTs (see
    // variant.hpp): emulated objects among them reach each sink as bare interfaces valid on
    // its thread. GIL held, any thread.
    void fire(const std::string &event_name, nb::tuple args);

    // Posts every event of `batch`, in order, to every connected sink as one message; the
    // batch is emptied. Each posted message holds `in_flight` until a pump starts running it or
    // drops it, so a poster can tell whether its last batch is still queued. GIL held, any thread.
    void fire(EventBatch &batch, std::shared_ptr<const void> in_flight = nullptr);

    size_t connection_count() const { return connections_.size(); }

    void disconnect() override;

private:
    struct Connection {
        nb::object sink;
        std::shared_ptr<ThreadQueue> subscriber;
        long cookie;
    };
    bool connected(long cookie) const;

    std::vector<Connection> connections_;
    long next_cookie_ = 1;
};

// win32com.client.WithEvents(obj, cls).
nb::object with_events(nb::handle object, nb::handle user_class);

void define_event_binding(nb::module_ &module);

} // namespace cqgemu
