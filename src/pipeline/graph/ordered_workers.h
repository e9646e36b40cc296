#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// Per-frame jobs on several worker threads, their results handed back in submission order on the caller's
// thread: how the codec stages decode and encode several frames at once while the graph's streaming thread
// keeps the stream in order.
//
//   OrderedWorkers<Decoder, Job> workers(0, 0, makeDecoder, [](Decoder& d, Job& job) { ... });
//   workers.submit(std::move(job), deliver);   // may hand earlier jobs to `deliver` first
//   workers.drain(deliver);                      // at the end of the stream
//
// An Item is one job and, once done, its result (a job changes its Item in place). Each worker has a State of
// its own (a codec object, which one thread uses at a time), made by the factory on the constructing thread,
// so that a codec that cannot be made fails there and then.
//
// Bounds. At most `maxInFlight` items are submitted and not yet delivered; submit() blocks only when that
// bound is reached, and then only until the oldest item is done. Delivered items go back to a small pool that
// recycled() hands out again, so their buffers are reused.
//
// Failure. An exception thrown by a job is kept with its item and thrown again by submit(), deliverReady() or
// drain() on the caller's thread when that item's turn to be delivered comes; the items after it stay in
// flight (a caller that fails stops, which cancels them). An exception thrown by `deliver` passes through;
// the item it was given is gone.
//
// Threads. Everything but the jobs runs on one caller thread (the constructing thread may differ: a stage
// builds its workers on the control thread in start() and uses them on the streaming thread). The
// destructor cancels what has not started, waits for the running jobs and joins the workers.
namespace moraven {

template <typename State, typename Item>
class OrderedWorkers {
public:
    using MakeState = std::function<std::unique_ptr<State>()>;
    using Work = std::function<void(State&, Item&)>;
    using Deliver = std::function<void(Item&)>;

    // The number of hardware threads, at least 1.
    static std::size_t hardwareThreads() { return std::max<std::size_t>(1, std::thread::hardware_concurrency()); }

    // `threads` workers (0: hardwareThreads()) and at most `maxInFlight` items in flight (0: two per worker;
    // never fewer than the workers). `makeState` is called once per worker, here; what it throws passes
    // through (no thread is started then).
    OrderedWorkers(std::size_t threads, std::size_t maxInFlight, const MakeState& makeState, Work work)
        : m_work(std::move(work)) {
        const std::size_t count = threads == 0 ? hardwareThreads() : threads;
        m_maxInFlight = std::max(count, maxInFlight == 0 ? 2 * count : maxInFlight);
        m_states.reserve(count);
        for (std::size_t i = 0; i < count; ++i) m_states.push_back(makeState());
        m_threads.reserve(count);
        for (std::size_t i = 0; i < count; ++i) m_threads.emplace_back([this, i] { workerLoop(*m_states[i]); });
    }

    OrderedWorkers(const OrderedWorkers&) = delete;
    OrderedWorkers& operator=(const OrderedWorkers&) = delete;

    ~OrderedWorkers() {
        cancel();
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_workAvailable.notify_all();
        for (std::thread& thread : m_threads) thread.join();
    }

    std::size_t threadCount() const { return m_threads.size(); }
    std::size_t maxInFlight() const { return m_maxInFlight; }
    // Items submitted and not yet delivered.
    std::size_t inFlight() const {
        std::lock_guard lock(m_mutex);
        return m_slots.size();
    }

    // An item to fill: one delivered earlier (its buffers kept), else a new one.
    Item recycled() {
        if (m_spare.empty()) return Item();
        Item item = std::move(m_spare.back());
        m_spare.pop_back();
        return item;
    }

    // Hands every item that is done at the head of the order to `deliver`, then queues `item`; when the
    // bound is reached, first waits for the oldest item and delivers it.
    void submit(Item item, const Deliver& deliver) {
        deliverReady(deliver);
        while (inFlight() >= m_maxInFlight) deliverOldest(deliver, true);
        {
            std::lock_guard lock(m_mutex);
            m_slots.push_back(Slot{std::move(item), false, nullptr});
        }
        m_workAvailable.notify_one();
    }

    // Hands every item that is done at the head of the order to `deliver`, without waiting.
    void deliverReady(const Deliver& deliver) {
        while (deliverOldest(deliver, false)) {
        }
    }

    // Waits for every item in flight and delivers them all, in order.
    void drain(const Deliver& deliver) {
        while (deliverOldest(deliver, true)) {
        }
    }

    // Forgets the items that no worker has started, waits for the running ones and drops them all,
    // results and exceptions alike.
    void cancel() {
        std::unique_lock lock(m_mutex);
        m_slots.resize(m_firstUnstarted);
        m_done.wait(lock, [this] {
            return std::all_of(m_slots.begin(), m_slots.end(), [](const Slot& slot) { return slot.done; });
        });
        m_slots.clear();
        m_firstUnstarted = 0;
    }

private:
    struct Slot {
        Item item;
        bool done = false;
        std::exception_ptr error;
    };

    // Delivers the oldest item when it is done (waiting for it when `wait`); false when there is none, or
    // when it is not done and `wait` is false.
    bool deliverOldest(const Deliver& deliver, bool wait) {
        Item item;
        std::exception_ptr error;
        {
            std::unique_lock lock(m_mutex);
            if (m_slots.empty()) return false;
            if (wait) {
                m_done.wait(lock, [this] { return m_slots.front().done; });
            } else if (!m_slots.front().done) {
                return false;
            }
            item = std::move(m_slots.front().item);
            error = m_slots.front().error;
            m_slots.pop_front();
            --m_firstUnstarted;  // the front was started, since it is done
        }
        if (error) std::rethrow_exception(error);
        deliver(item);
        if (m_spare.size() < m_maxInFlight) m_spare.push_back(std::move(item));
        return true;
    }

    void workerLoop(State& state) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_workAvailable.wait(lock, [this] { return m_quit || m_firstUnstarted < m_slots.size(); });
            if (m_quit) return;
            // A deque keeps its elements in place when the caller adds at the back or removes the front
            // (which is done, so no worker holds it): the slot stays valid while the lock is released.
            Slot& slot = m_slots[m_firstUnstarted++];
            lock.unlock();
            std::exception_ptr error;
            try {
                m_work(state, slot.item);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            slot.done = true;
            slot.error = error;
            m_done.notify_all();
        }
    }

    Work m_work;
    std::size_t m_maxInFlight = 1;
    std::vector<std::unique_ptr<State>> m_states;
    std::vector<std::thread> m_threads;
    std::vector<Item> m_spare;  // the caller's thread only

    mutable std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_done;
    std::deque<Slot> m_slots;            // in submission order, the oldest first
    std::size_t m_firstUnstarted = 0;   // the index in m_slots of the first item no worker has taken
    bool m_quit = false;
};

}  // namespace moraven
