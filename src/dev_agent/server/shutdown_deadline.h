#pragma once

#include <chrono>

#include "dev_agent/server/listener.h"
#include "dev_agent/server/stop_signal.h"

namespace quillbrook::dev_agent {

// Once a stop is asked for, gives the agent `grace` to shut down in order;
// past it, removes the socket file and ends the process whatever its threads
// are doing, so that a request stuck on a slow disk cannot keep the agent up.
// Changes the index committed are safe in its journal; one it had not
// committed is rolled back when it opens next.
void enforceShutdownDeadline(const StopSignal& stop, const Listener& listener, std::chrono::milliseconds grace);

}  // namespace quillbrook::dev_agent
