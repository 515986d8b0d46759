#pragma once

namespace quillbrook::dev_agent {

// Gives the calling thread only what the threads at the usual priority leave
// of the processor: requests, the index's writer and the user's own programs
// go first. Where threads have no priority of their own, it does nothing.
void runBehindOtherWork();

}  // namespace quillbrook::dev_agent
