#include "dev_agent/server/shutdown_deadline.h"

#include <thread>

#include <poll.h>
#include <unistd.h>

#include "dev_agent/base/log.h"
#include "util/io.h"
#include "util/unique_fd.h"

namespace quillbrook::dev_agent {

void enforceShutdownDeadline(const StopSignal& stop, const Listener& listener, std::chrono::milliseconds grace) {
    // The thread owns copies of what it needs: it outlives both arguments when
    // the agent stops in time, and the process ends with it still asleep.
    UniqueFd stopRequested(::dup(stop.fd()));
    if (!stopRequested.valid()) {
        throwErrno("cannot watch for a stop request");
    }
    std::thread([stopRequested = std::move(stopRequested), socket = listener.file(), grace] {
        pollfd entry{stopRequested.get(), POLLIN, 0};
        while (::poll(&entry, 1, -1) <= 0) {
        }
        std::this_thread::sleep_for(grace);
        socket.removeIfUnchanged();
        logLine("stopped " + std::to_string(grace.count()) + " ms after the stop request, with requests still running");
        ::_exit(0);
    }).detach();
}

}  // namespace quillbrook::dev_agent
