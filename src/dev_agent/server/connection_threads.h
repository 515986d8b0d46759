#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <mutex>
#include <thread>
#include <utility>

namespace quillbrook::dev_agent {

// The connections being served, one thread each, at most `limit` at a time.
// A thread per connection keeps each client's wait (and deadline) its own: a
// client that sends nothing holds its thread, never the others. The limit
// bounds what many clients can cost; beyond it new connections wait in the
// listen queue. The destructor waits for every thread.
class ConnectionThreads {
public:
    explicit ConnectionThreads(std::size_t limit) : limit_(limit) {}
    ~ConnectionThreads();
    ConnectionThreads(const ConnectionThreads&) = delete;
    ConnectionThreads& operator=(const ConnectionThreads&) = delete;

    // Waits until fewer than `limit` run, or `timeout` passed; true when there is room.
    bool waitForRoom(std::chrono::milliseconds timeout);

    // Runs `work` (a callable that may own the connection) on a thread of its own.
    template <typename Work>
    void start(Work work) {
        std::lock_guard lock(mutex_);
        joinFinishedLocked();
        Slot& slot = slots_.emplace_back();
        slot.thread = std::thread([this, &slot, work = std::move(work)]() mutable {
            work();
            std::lock_guard done(mutex_);
            slot.finished = true;
            finished_.notify_all();
        });
    }

private:
    struct Slot {
        std::thread thread;
        bool finished = false;
    };

    void joinFinishedLocked();

    std::size_t limit_;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::list<Slot> slots_;  // a list, so that a running thread's slot never moves
};

}  // namespace quillbrook::dev_agent
