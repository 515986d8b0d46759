#pragma once

#include "util/unique_fd.h"

namespace quillbrook::dev_agent {

// A pipe that wakes a poll: wake() writes a byte (safe in a signal handler),
// the read end turns readable until drain(). Both ends are non-blocking, so a
// full pipe, which already holds a wake-up, never blocks the waker.
class WakePipe {
public:
    // `what` names the pipe in the error thrown when it cannot be made.
    explicit WakePipe(const char* what);

    int fd() const { return readEnd_.get(); }
    int writeFd() const { return writeEnd_.get(); }
    void wake() const { wake(writeEnd_.get()); }
    // For a signal handler, which has the descriptor alone.
    static void wake(int writeFd);
    // Whether a wake-up waits, without taking it.
    bool woken() const;
    void drain() const;

private:
    UniqueFd readEnd_;
    UniqueFd writeEnd_;
};

}  // namespace quillbrook::dev_agent
