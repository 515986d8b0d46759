#pragma once

#include <functional>
#include <vector>

#include <poll.h>

namespace quillbrook::dev_agent {

// The descriptors of one poll, each with what to do once the poll returns.
class PollSet {
public:
    // Called with the descriptor's returned events, 0 when it is not ready:
    // a handler also sees a deadline pass.
    using Handler = std::function<void(short revents)>;

    void add(int fd, short events, Handler handler);
    // Waits up to `timeoutMillis` for any descriptor; false when poll failed
    // (not for a signal).
    bool wait(int timeoutMillis);
    // Calls every handler, in the order they were added.
    void dispatch();

private:
    std::vector<pollfd> entries_;
    std::vector<Handler> handlers_;
};

}  // namespace quillbrook::dev_agent
