#pragma once

#include <chrono>

#include "dev_agent/protocol/actions.h"
#include "dev_agent/server/listener.h"
#include "dev_agent/server/stop_signal.h"

namespace quillbrook::dev_agent {

// Serves connections at the same time until a stop is asked for: each one
// carries one request line and gets one answer line. A client has
// `requestTimeout` to send its line (and again to take the answer); one that
// connects and says nothing, or reads slowly, delays nobody else.
void serve(const Listener& listener, const StopSignal& stop, ActionContext& context,
           std::chrono::milliseconds requestTimeout);

}  // namespace quillbrook::dev_agent
