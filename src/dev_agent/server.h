#pragma once

#include <chrono>

#include "dev_agent/actions.h"
#include "dev_agent/listener.h"
#include "dev_agent/stop_signal.h"

namespace quillbrook::dev_agent {

// Serves connections one after another until a stop is asked for: each one
// carries one request line and gets one answer line. A client has
// `requestTimeout` to send its line (and to take the answer), so one that
// connects and says nothing delays the others by that much at most.
void serve(const Listener& listener, const StopSignal& stop, ActionContext& context,
           std::chrono::milliseconds requestTimeout);

}  // namespace quillbrook::dev_agent
