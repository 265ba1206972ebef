// The message queue every thread gets on first use, and the apartment it holds once the thread
// has called CoInitialize.
//
// Messages carry Python objects, so they are run and destroyed only with the GIL held. A thread
// that ends without leaving its apartment is marked dead by a thread-exit hook (which touches no
// Python object); its leftover messages are dropped later, under the GIL, by purge_dead_queues().
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace cqgemu {

// What an apartment lets go of when it is left: every object made in it (EmulatedObject).
class ApartmentResident {
public:
    // The apartment is being left: drop event sinks and whatever else holds Python objects.
    // GIL held.
    virtual void disconnect() = 0;

protected:
    ~ApartmentResident() = default;
};

struct Message {
    enum class Kind { Run, Quit };
    Kind kind = Kind::Run;
    std::function<void()> run;    // on the owner thread, GIL held, inside the pump
    std::function<void()> cancel; // GIL held, when the message is dropped unrun (may be empty)
};

class ThreadQueue {
public:
    explicit ThreadQueue(unsigned long thread_ident);

    const unsigned long thread_ident;
    const std::uint64_t serial; // this queue's own number: no other queue of the process has it

    // Guarded by platform_mutex().
    std::deque<Message> messages;
    // Messages posted so far, counted under the mutex and read without it by this queue's own
    // thread while it spins for the next one.
    std::atomic<std::uint64_t> posted{0};
    // Changed under the mutex; read without it only to tell whether this is the caller's queue.
    std::atomic<bool> alive{true};
    int com_init_count = 0;                          // CoInitialize nesting depth
    bool multithreaded = false;                      // the apartment's model, once entered
    std::optional<unsigned long> injected_wait_result; // the next MsgWait returns this

    // Guarded by the GIL: objects created in this apartment, disconnected when it is left.
    std::vector<std::weak_ptr<ApartmentResident>> objects;
    // Guarded by the GIL: how many times the apartment was left. An object made in it that is
    // not listed in `objects` knows it is disconnected once this has moved on.
    std::uint64_t generation = 0;

    // Guarded by the GIL: the apartment is being left (its messages and objects let go of).
    bool leaving = false;
    bool in_apartment() const { return alive && com_init_count > 0; }
};

unsigned long current_thread_ident();

// The calling thread's queue, made on first use.
const std::shared_ptr<ThreadQueue> &current_queue();

// Whether `queue` is the queue of the thread `here` (the caller's ident): a queue outlives its
// thread, whose ident a later thread may get, but it is marked dead before the ident is free.
// Cheaper than current_queue(), which reaches the thread's own storage.
inline bool is_queue_of(const ThreadQueue &queue, unsigned long here) {
    return queue.thread_ident == here && queue.alive.load(std::memory_order_relaxed);
}

// The live queue of a thread, or null when that thread has none.
std::shared_ptr<ThreadQueue> find_queue(unsigned long thread_ident);

// Appends a message; false when the thread has ended. Takes the platform mutex.
bool post_message(ThreadQueue &queue, Message message);

// Appends a call for an object of the queue's apartment, checking in the same step that the
// apartment is still there (so that leaving it either cancels the call or refuses it).
enum class CallPosting { Posted, ApartmentLeft, ThreadEnded };
CallPosting post_call(ThreadQueue &queue, Message message);

// Runs every waiting message of the calling thread, including any posted meanwhile; stops at a
// quit message and returns true then. GIL held.
bool pump_waiting_messages();

// Whether the queue holds a message other than a quit message. Platform mutex held.
bool has_runnable_message(const ThreadQueue &queue);

// Runs the queue's waiting messages, in order, while its thread waits on an outgoing call; a
// quit message stays queued for the pump. GIL held.
void run_waiting_calls(ThreadQueue &queue);

// Leaves the calling thread's apartment once its nesting count reaches zero: waiting messages are
// dropped (each cancelled), objects made here are disconnected. GIL held.
void leave_apartment(ThreadQueue &queue);

// Drops what ended threads left behind. GIL held.
void purge_dead_queues();

// Drops every message of every thread and disconnects every object (process exit). GIL held.
void drop_all_queues();

// Whether the process is ending (drop_all_queues has run): nothing is reported any more.
bool platform_ending();

} // namespace cqgemu
