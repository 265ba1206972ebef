#include "thread_queue.hpp"

#include "platform_lock.hpp"

#include <Python.h>

#include <algorithm>
#include <unordered_map>

namespace cqgemu {

namespace {

// Every queue ever made and not yet purged, by thread. Guarded by platform_mutex(); never
// destroyed, since thread-exit hooks may run while the process exits.
std::unordered_multimap<unsigned long, std::shared_ptr<ThreadQueue>> &registry() {
    static auto *queues = new std::unordered_multimap<unsigned long, std::shared_ptr<ThreadQueue>>;
    return *queues;
}

// Marks the thread's queue dead when the thread ends. Runs without the GIL: touches no Python
// object, and the registry keeps the queue (and its messages) until a purge under the GIL.
struct ThreadExitHook {
    std::shared_ptr<ThreadQueue> queue;
    ~ThreadExitHook() {
        if (!queue)
            return;
        std::lock_guard<std::mutex> lock(platform_mutex());
        queue->alive = false;
        platform_changed().notify_all();
        // The registry still holds the queue, so this never destroys Python payloads.
        queue.reset();
    }
};

thread_local ThreadExitHook this_thread;

std::deque<Message> take_messages(ThreadQueue &queue) {
    std::lock_guard<std::mutex> lock(platform_mutex());
    std::deque<Message> taken;
    taken.swap(queue.messages);
    return taken;
}

void disconnect_objects(ThreadQueue &queue) {
    ++queue.generation;
    std::vector<std::weak_ptr<ApartmentResident>> objects;
    objects.swap(queue.objects);
    for (auto &weak : objects)
        if (auto object = weak.lock())
            object->disconnect();
}

// Cancels every waiting message and disconnects the objects made in the queue's apartment.
void drop_contents(ThreadQueue &queue) {
    std::deque<Message> left = take_messages(queue);
    for (Message &message : left)
        if (message.cancel)
            message.cancel();
    left.clear();
    disconnect_objects(queue);
}

} // namespace

unsigned long current_thread_ident() { return PyThread_get_thread_ident(); }

const std::shared_ptr<ThreadQueue> &current_queue() {
    if (!this_thread.queue) {
        auto queue = std::make_shared<ThreadQueue>(current_thread_ident());
        std::lock_guard<std::mutex> lock(platform_mutex());
        registry().emplace(queue->thread_ident, queue);
        this_thread.queue = queue;
    }
    return this_thread.queue;
}

std::shared_ptr<ThreadQueue> find_queue(unsigned long thread_ident) {
    std::lock_guard<std::mutex> lock(platform_mutex());
    auto range = registry().equal_range(thread_ident);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second->alive)
            return it->second;
    return nullptr;
}

bool post_message(ThreadQueue &queue, Message message) {
    {
        std::lock_guard<std::mutex> lock(platform_mutex());
        if (!queue.alive)
            return false;
        queue.messages.push_back(std::move(message));
        queue.posted.fetch_add(1, std::memory_order_release);
    }
    platform_changed().notify_all();
    return true;
}

CallPosting post_call(ThreadQueue &queue, Message message) {
    {
        std::lock_guard<std::mutex> lock(platform_mutex());
        if (!queue.alive)
            return CallPosting::ThreadEnded;
        if (queue.com_init_count == 0)
            return CallPosting::ApartmentLeft;
        queue.messages.push_back(std::move(message));
        queue.posted.fetch_add(1, std::memory_order_release);
    }
    platform_changed().notify_all();
    return CallPosting::Posted;
}

bool pump_waiting_messages() {
    std::shared_ptr<ThreadQueue> queue = current_queue();
    for (;;) {
        Message message;
        {
            std::lock_guard<std::mutex> lock(platform_mutex());
            if (queue->messages.empty())
                return false;
            message = std::move(queue->messages.front());
            queue->messages.pop_front();
        }
        if (message.kind == Message::Kind::Quit)
            return true;
        message.run();
    }
}

bool has_runnable_message(const ThreadQueue &queue) {
    for (const Message &message : queue.messages)
        if (message.kind == Message::Kind::Run)
            return true;
    return false;
}

void run_waiting_calls(ThreadQueue &queue) {
    for (;;) {
        Message message;
        {
            std::lock_guard<std::mutex> lock(platform_mutex());
            auto next = std::find_if(queue.messages.begin(), queue.messages.end(),
                                     [](const Message &m) { return m.kind == Message::Kind::Run; });
            if (next == queue.messages.end())
                return;
            message = std::move(*next);
            queue.messages.erase(next);
        }
        message.run();
    }
}

void leave_apartment(ThreadQueue &queue) {
    {
        std::lock_guard<std::mutex> lock(platform_mutex());
        if (queue.com_init_count == 0)
            return;
        if (--queue.com_init_count > 0)
            return;
    }
    platform_changed().notify_all();
    // What the apartment lets go of while it is left is released inside CoUninitialize, as COM
    // releases it: no release after the apartment is gone.
    queue.leaving = true;
    struct Left {
        ThreadQueue &queue;
        ~Left() { queue.leaving = false; }
    } left{queue};
    // Calls still queued for this apartment can no longer run: their callers get an error.
    std::deque<Message> waiting = take_messages(queue);
    std::deque<Message> kept;
    for (Message &message : waiting) {
        if (message.kind == Message::Kind::Quit)
            kept.push_back(std::move(message));
        else if (message.cancel)
            message.cancel();
    }
    waiting.clear();
    {
        std::lock_guard<std::mutex> lock(platform_mutex());
        for (auto it = kept.rbegin(); it != kept.rend(); ++it)
            queue.messages.push_front(std::move(*it));
    }
    disconnect_objects(queue);
}

void purge_dead_queues() {
    std::vector<std::shared_ptr<ThreadQueue>> dead;
    {
        std::lock_guard<std::mutex> lock(platform_mutex());
        for (auto it = registry().begin(); it != registry().end();) {
            if (!it->second->alive) {
                dead.push_back(std::move(it->second));
                it = registry().erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto &queue : dead)
        drop_contents(*queue);
}

namespace {
bool ending = false;
std::atomic<std::uint64_t> queues_made{0};
} // namespace

ThreadQueue::ThreadQueue(unsigned long thread_ident)
    : thread_ident(thread_ident), serial(++queues_made) {}

bool platform_ending() { return ending; }

void drop_all_queues() {
    ending = true;
    std::vector<std::shared_ptr<ThreadQueue>> all;
    {
        std::lock_guard<std::mutex> lock(platform_mutex());
        for (auto &entry : registry())
            all.push_back(entry.second);
    }
    for (auto &queue : all)
        drop_contents(*queue);
    purge_dead_queues();
}

} // namespace cqgemu
