#include "dev_agent/server/connection_threads.h"

namespace quillbrook::dev_agent {

ConnectionThreads::~ConnectionThreads() {
    std::list<Slot> all;
    {
        std::lock_guard lock(mutex_);
        all.swap(slots_);
    }
    for (auto& slot : all) {
        slot.thread.join();
    }
}

bool ConnectionThreads::waitForRoom(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    joinFinishedLocked();
    if (slots_.size() < limit_) {
        return true;
    }
    finished_.wait_for(lock, timeout, [this] {
        for (const auto& slot : slots_) {
            if (slot.finished) {
                return true;
            }
        }
        return false;
    });
    joinFinishedLocked();
    return slots_.size() < limit_;
}

void ConnectionThreads::joinFinishedLocked() {
    for (auto slot = slots_.begin(); slot != slots_.end();) {
        if (slot->finished) {
            // It only has to return from the lambda, which holds no lock by now.
            slot->thread.join();
            slot = slots_.erase(slot);
        } else {
            ++slot;
        }
    }
}

}  // namespace quillbrook::dev_agent
