#pragma once

#include <string>

#include "util/unique_fd.h"

namespace quillbrook::dev_agent {

// Keeps a second agent off a state directory while this one lives: two agents
// writing one index would race on its UIDs. The lock is an flock on "agent.lock"
// in the directory, so the system drops it when the agent dies in any way.
class StateDirectoryLock {
public:
    // Creates the directory (0700) when missing. Throws std::runtime_error,
    // naming the other agent's process, when it is taken.
    explicit StateDirectoryLock(const std::string& stateDir);

private:
    UniqueFd fd_;
};

}  // namespace quillbrook::dev_agent
