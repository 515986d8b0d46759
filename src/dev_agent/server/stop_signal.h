#pragma once

#include "dev_agent/server/wake_pipe.h"

namespace quillbrook::dev_agent {

// SIGINT and SIGTERM ask the agent to stop. The handler only writes a byte to a
// pipe, which the serving loop polls beside the sockets, so a stop request ends
// any wait at once and the agent can clean up outside the handler. SIGPIPE is
// ignored: a client that leaves early must cost a failed write, not the agent.
class StopSignal {
public:
    StopSignal();  // installs the handlers; one instance per process
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Readable once a stop was asked for.
    int fd() const { return pipe_.fd(); }
    bool requested() const { return pipe_.woken(); }

private:
    WakePipe pipe_{"stop pipe"};
};

}  // namespace quillbrook::dev_agent
